#pragma once
// "Привязка адаптера": the serial adapters present, and the COM numbers they are bound to. Binds
// the chosen adapter to a free or chosen COM number (the link ports/comN, to the adapter's
// by-id name where it has one, so that it survives another USB socket) and removes bindings.
#include <vector>

#include <QDialog>
#include <QString>

#include "platform/port_bindings.h"
#include "platform/serial_adapters.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace torvex {

inline const QString kBindTitle = QStringLiteral("Привязка адаптера");
// Shown in place of an empty list when no adapter is present.
inline const QString kNoAdapters = QStringLiteral(
    "Адаптеры не найдены. Подключите адаптер USB-RS485 и нажмите «Обновить»; если он не "
    "появился, посмотрите sudo dmesg | tail: система должна назвать его устройство "
    "(например /dev/ttyUSB0). Порт можно привязать и вручную: ln -s /dev/ttyUSB0 %1/com1");

class BindAdapterDialog : public QDialog {
  Q_OBJECT

 public:
  // settingsDir holds ports/; `preferred` is the COM number offered first when it is free
  // (0: the lowest free one).
  BindAdapterDialog(AdapterSource& adapters, const QString& settingsDir, int preferred,
                    QWidget* owner = nullptr);

  // Whether a binding was made or removed while the dialog was open.
  bool Changed() const { return changed_; }

 private:
  void Refresh();
  void FillPorts(int select);
  void Bind();
  void Unbind();
  void UpdateButtons();
  void Say(const QString& text);

  AdapterSource& adapters_;
  PortBindings bindings_;
  std::vector<SerialAdapter> present_;
  bool changed_ = false;

  QListWidget* lstAdapters_ = nullptr;
  QLabel* lblNoAdapters_ = nullptr;
  QComboBox* cmbPort_ = nullptr;
  QPushButton* cmdBind_ = nullptr;
  QPushButton* cmdUnbind_ = nullptr;
  QLabel* lblResult_ = nullptr;
};

}  // namespace torvex
