#include "ui/paced_view.h"

#include <utility>

namespace torvex {

void PacedView::SetPaced(bool paced) {
  paced_ = paced;
  if (!paced_) Flush();
}

void PacedView::Flush() {
  // Taken out first: the window may write back through this view while it is given them.
  std::map<Key, Value> pending = std::exchange(pending_, {});
  std::optional<QString> caption = std::exchange(caption_, std::nullopt);
  for (const auto& [key, value] : pending) {
    const ControlRef control{key.control, key.index};
    switch (key.property) {
      case Property::kText: window_.SetText(control, value.text); break;
      case Property::kBackColor: window_.SetBackColor(control, value.number); break;
      case Property::kChecked: window_.SetChecked(control, value.number != 0); break;
      case Property::kOpaque: window_.SetOpaque(control, value.number != 0); break;
    }
  }
  if (caption) window_.SetCaption(*caption);
}

const PacedView::Value* PacedView::Kept(Property property, ControlRef control) const {
  const auto it = pending_.find(KeyOf(property, control));
  return it == pending_.end() ? nullptr : &it->second;
}

void PacedView::Keep(Property property, ControlRef control, Value value) {
  pending_.insert_or_assign(KeyOf(property, control), std::move(value));
}

QString PacedView::Text(ControlRef control) const {
  const Value* kept = Kept(Property::kText, control);
  return kept ? kept->text : window_.Text(control);
}

void PacedView::SetText(ControlRef control, const QString& text) {
  if (paced_) Keep(Property::kText, control, {text, 0});
  else window_.SetText(control, text);
}

void PacedView::SetBackColor(ControlRef control, std::uint32_t rgb) {
  if (paced_) Keep(Property::kBackColor, control, {{}, rgb});
  else window_.SetBackColor(control, rgb);
}

bool PacedView::IsChecked(ControlRef control) const {
  const Value* kept = Kept(Property::kChecked, control);
  return kept ? kept->number != 0 : window_.IsChecked(control);
}

void PacedView::SetChecked(ControlRef control, bool checked) {
  if (paced_) Keep(Property::kChecked, control, {{}, checked ? 1u : 0u});
  else window_.SetChecked(control, checked);
}

void PacedView::SetOpaque(ControlRef control, bool opaque) {
  if (paced_) Keep(Property::kOpaque, control, {{}, opaque ? 1u : 0u});
  else window_.SetOpaque(control, opaque);
}

void PacedView::RepaintNow(ControlRef control) {
  Flush();
  window_.RepaintNow(control);
}

void PacedView::SetCaption(const QString& caption) {
  if (paced_) caption_ = caption;
  else window_.SetCaption(caption);
}

}  // namespace torvex
