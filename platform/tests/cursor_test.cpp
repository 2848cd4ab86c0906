#include "platform/cursor.h"

#include <QCursor>
#include <QGuiApplication>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace platform;

namespace {
// The cursor shapes stacked over the program's windows, bottom first.
std::vector<int> stack() {
  std::vector<QCursor> popped;
  while (const QCursor* c = QGuiApplication::overrideCursor()) {
    popped.push_back(*c);
    QGuiApplication::restoreOverrideCursor();
  }
  std::vector<int> shapes;
  for (auto it = popped.rbegin(); it != popped.rend(); ++it) {
    shapes.push_back(it->shape());
    QGuiApplication::setOverrideCursor(*it);
  }
  return shapes;
}
}  // namespace

TEST(Cursor, HourglassIsOneStateNotAStack) {
  const int wait = Qt::WaitCursor, cross = Qt::CrossCursor;
  struct Case {
    const char* steps;  // s: hourglass, r: restore, x: someone else's cross cursor
    std::vector<int> expect;
  } cases[] = {
      {"s", {wait}},       {"ssr", {}},     {"sr", {}},          {"r", {}},          {"srr", {}},
      {"ssrs", {wait}},    {"xs", {cross, wait}}, {"xsr", {cross}}, {"xssrr", {cross}},
  };
  for (const auto& c : cases) {
    for (char step : std::string(c.steps)) {
      if (step == 's') showHourglass();
      if (step == 'r') restoreCursor();
      if (step == 'x') QGuiApplication::setOverrideCursor(QCursor(Qt::CrossCursor));
    }
    EXPECT_EQ(stack(), c.expect) << c.steps;
    EXPECT_EQ(hourglassShown(), !c.expect.empty() && c.expect.back() == wait) << c.steps;
    restoreCursor();
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  }
}
