#pragma once
// The window "Поиск контроллера": which ports, speeds, framings and addresses to search, the
// reply allowance, "Искать все"; a progress bar with the probe on the line and the time left;
// each find in a list as it comes; "Стоп", and "Применить" for the chosen find. While a search
// runs the port is the search's: the exchange steps aside and comes back when it ends, also when
// the window is closed in the middle of it, however it is closed; the options it runs with
// cannot be changed until then.
#include <functional>
#include <vector>

#include <QDialog>

#include "search/controller_search.h"
#include "ui/search_texts.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace torvex {

class TcpLink;

class SearchWindow : public QDialog {
  Q_OBJECT

 public:
  // What the search asks of the tool around it.
  struct Hooks {
    std::function<void()> stepAside;  // before the first probe: the exchange stops
    std::function<void()> comeBack;   // after the last: the exchange resumes
    std::function<void(const search::SearchFind&)> apply;  // "Применить"
  };
  // Where it searches: the chosen COM port (`comPort`), or every COM port that opens (a box),
  // or the network link when `network` is connected and `onNetwork`.
  struct Where {
    int comPort = 1;
    QString configuredMode;
    int selectedAddress = 7;
    bool onNetwork = false;
    bool modbusTcp = false;
    QString linkName;  // "COM3", "TCP 10.0.0.5:502"
  };

  // Every frame of the search goes to `observer` (nullptr: nobody).
  SearchWindow(SerialPort& port, TcpLink& network, const Where& where, Hooks hooks,
               ExchangeObserver* observer = nullptr, QWidget* parent = nullptr);

  void StartSearch();
  void StopSearch() { search_.Stop(); }
  bool Searching() const { return search_.Running(); }
  // Bytes arrived on the link: the search may judge its probe at once.
  void OnArrival() { search_.OnArrival(); }
  // Closing by Escape, or by any other way than the close box, ends the search first too.
  void done(int result) override;
  // The finds listed so far.
  const std::vector<search::SearchFind>& Finds() const { return finds_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  search::SearchSpace Space() const;
  void OnTrying(const search::Probe& probe, int done, int total, std::chrono::milliseconds left);
  void OnFound(const search::SearchFind& find);
  void OnFinished(const search::SearchEnd& end);
  QString LinkOf(int port) const;
  void ShowRunning(bool running);

  Where where_;
  Hooks hooks_;
  TcpLink& network_;
  search::ControllerSearch search_;
  std::vector<search::SearchFind> finds_;
  std::vector<QCheckBox*> speeds_;
  std::vector<QCheckBox*> framings_;
  QCheckBox* allPorts_ = nullptr;
  QCheckBox* searchAll_ = nullptr;
  QSpinBox* firstAddress_ = nullptr;
  QSpinBox* lastAddress_ = nullptr;
  QSpinBox* allowance_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* trying_ = nullptr;
  QListWidget* list_ = nullptr;
  QPushButton* start_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* apply_ = nullptr;
};

}  // namespace torvex
