#pragma once
// Finds the window's controls the way an inspector would: by objectName, and for an element of
// a control array by its "index" property.
#include <algorithm>
#include <vector>

#include <QWidget>

namespace torvex::test {

// Index of an array element, -1 for a single control.
inline int IndexOf(const QObject* object) {
  const QVariant index = object->property("index");
  return index.isValid() ? index.toInt() : -1;
}

template <class W = QWidget>
std::vector<W*> Elements(const QWidget& window, const char* name) {
  const QList<W*> found = window.findChildren<W*>(QLatin1String(name));
  std::vector<W*> sorted(found.begin(), found.end());
  std::sort(sorted.begin(), sorted.end(),
            [](const W* a, const W* b) { return IndexOf(a) < IndexOf(b); });
  return sorted;
}

template <class W = QWidget>
W* Find(const QWidget& window, const char* name, int index = -1) {
  for (W* widget : Elements<W>(window, name)) {
    if (IndexOf(widget) == index) return widget;
  }
  return nullptr;
}

}  // namespace torvex::test
