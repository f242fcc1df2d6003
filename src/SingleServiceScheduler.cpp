#include "SingleServiceScheduler.h"

#include <exception>

#include <QDebug>

CSingleServiceScheduler::CSingleServiceScheduler(unsigned threadCount)
    : _threadCount(threadCount == 0 ? 1 : threadCount), _running(false) {}

CSingleServiceScheduler::~CSingleServiceScheduler() { shutdown(); }

void CSingleServiceScheduler::startup() {
  if (_running) return;
  _service.restart();
  _work.reset(new WorkGuard(_service.get_executor()));
  for (unsigned i = 0; i < _threadCount; ++i) _threads.emplace_back([this] { runService(); });
  _running = true;
}

void CSingleServiceScheduler::shutdown() {
  if (!_running) return;
  _work.reset();
  _service.stop();
  for (std::thread& thread : _threads) thread.join();
  _threads.clear();
  _running = false;
}

void CSingleServiceScheduler::runService() {
  // A handler's exception ends only that handler: the thread goes back to the service.
  while (true) {
    try {
      _service.run();
      return;
    } catch (const std::exception& error) {
      qDebug() << "CSingleServiceScheduler::runService" << error.what();
    } catch (...) {
      qDebug() << "CSingleServiceScheduler::runService";
    }
  }
}
