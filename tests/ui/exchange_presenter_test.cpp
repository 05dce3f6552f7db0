#include "ui/exchange_presenter.h"

#include <gtest/gtest.h>

#include "support/fake_view.h"
#include "support/status_texts.h"

namespace torvex {
namespace {

class ExchangePresenterTest : public ::testing::Test {
 protected:
  QString Status() const { return view.Text({Control::lbl_sys_mes}); }

  test::FakeView view;
  ExchangePresenter presenter{view};
};

// The controller's refusal is told behind the link's words (and its queue note), with the code
// as a plain number.
TEST_F(ExchangePresenterTest, AnExceptionAnswerIsToldWithItsCode) {
  for (const auto& [code, pending, text] : std::vector<std::tuple<int, int, QString>>{
           {2, 0, test::kStatusLinkUp + " Нарушение протокола, код: 2"},
           {0, 0, test::kStatusLinkUp + " Нарушение протокола, код: 0"},
           {255, 0, test::kStatusLinkUp + " Нарушение протокола, код: 255"},
           {11, 25, test::kStatusLinkUp + " В очереди 25 запросов Нарушение протокола, код: 11"}}) {
    presenter.ShowReport({ExchangeOutcome::kLinkUp, pending, 0, code});
    EXPECT_EQ(Status(), text);
  }
}

// Notes follow the words after every tick; a tick that waited renews them on the same words;
// new words or a message stand alone until the next tick's notes.
TEST_F(ExchangePresenterTest, NotesFollowTheWordsTheyBelongTo) {
  const QString note = " Журнал обмена не записывается";
  presenter.ShowReport({ExchangeOutcome::kNoAnswer, 0, 1});
  presenter.SetNotes(note);
  EXPECT_EQ(Status(), test::kStatusNoAnswer + note);
  presenter.SetNotes(QString());  // a tick that waited, the log working again
  EXPECT_EQ(Status(), test::kStatusNoAnswer);
  presenter.SetNotes(note);

  presenter.ShowReport({ExchangeOutcome::kQueueFull, 511, 1});  // a command refused
  EXPECT_EQ(Status(), StatusLineText(ExchangeOutcome::kQueueFull, 511));
  presenter.SetNotes(note);
  EXPECT_EQ(Status(), StatusLineText(ExchangeOutcome::kQueueFull, 511) + note);

  presenter.ShowMessage("Чтение конфигурации");
  EXPECT_EQ(Status(), "Чтение конфигурации");
  presenter.SetNotes(note);
  EXPECT_EQ(Status(), "Чтение конфигурации" + note);
  EXPECT_EQ(view.Text({Control::lbl_dbg}), "1");
}

}  // namespace
}  // namespace torvex
