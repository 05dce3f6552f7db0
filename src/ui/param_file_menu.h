#pragma once
// Parameter sets in files, from the main window's menu "Параметры": save what the controller
// holds (read afresh, never from boxes that were not just read), load a file into the boxes
// for the operator to write, compare the controller with a file. The reads go through the
// exchange like any request; the window stays usable meanwhile.
#include <optional>
#include <vector>

#include <QObject>
#include <QString>

#include "engine/modbus_engine.h"
#include "paramfile/param_layout.h"
#include "params/param_transfer.h"
#include "paramset/set_exchange.h"
#include "view/status_line.h"

class QAction;
class QMenu;

namespace torvex {

class MainWindow;

class ParamFileMenu : public QObject {
  Q_OBJECT
 public:
  // Adds the menu "Параметры" to the window's menu bar, after the items already there.
  ParamFileMenu(MainWindow& window, ParamTransfer& params, ModbusEngine& engine,
                StatusLine& status);

  // The menu's commands once the file is chosen. Saving and comparing read the controller
  // first; their end is shown when the last answer is in (or the controller stopped answering).
  void SaveToFile(const QString& path);
  // Refused whole, with a message naming the line, or loaded into the boxes at once.
  bool LoadFromFile(const QString& path);
  void CompareWithFile(const QString& path);

  // The exchange's answers and tick outcomes, for the read in progress.
  void OnAnswer(const RxAnswer& answer);
  void OnTick(std::optional<ExchangeOutcome> outcome);

  bool Busy() const { return run_.has_value(); }
  // Appended to the status line while a read for a file is under way.
  QString StatusNote() const;

 signals:
  // A save or a comparison came to its end, done or not (for tests).
  void Finished();

 private:
  enum class Purpose { kSave, kCompare };
  void StartRead(Purpose purpose, const QString& path);
  void Finish();
  void FinishSave(const paramset::SetExchange& run);
  void FinishCompare(const paramset::SetExchange& run);
  void ShowCompareDialog(const paramfile::ParamImage& controller, int address);
  void ShowBox(bool warning, const QString& title, const QString& text);
  QString AskFile(bool saving, const QString& title);
  void ShowBusy();

  MainWindow& window_;
  ParamTransfer& params_;
  ModbusEngine& engine_;
  StatusLine& status_;
  QMenu* menu_ = nullptr;
  std::vector<QAction*> readingActions_;
  std::optional<paramset::SetExchange> run_;
  Purpose purpose_ = Purpose::kSave;
  QString path_;
  paramfile::ParamImage file_{};
  QString folder_;
};

}  // namespace torvex
