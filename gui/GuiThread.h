// Carries a call from the plug-in's thread to the GUI thread and blocks the
// caller until it has been answered, so that the plug-in's synchronous
// contract holds; on the GUI thread itself the call is made at once. The GUI
// thread never waits for the other way round.
#pragma once
#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <optional>
#include <type_traits>

template <class F>
auto OnGuiThread(F f) -> decltype(f()) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) return f();
  if constexpr (std::is_void_v<decltype(f())>) {
    QMetaObject::invokeMethod(app, f, Qt::BlockingQueuedConnection);
  } else {
    std::optional<decltype(f())> result;
    QMetaObject::invokeMethod(app, [&] { result.emplace(f()); }, Qt::BlockingQueuedConnection);
    return std::move(*result);
  }
}
