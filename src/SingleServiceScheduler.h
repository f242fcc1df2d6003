// A small thread pool that runs one Boost.Asio I/O service: the cloud tour control's
// reader runs its serial-port completions here, off the host's threads.
#pragma once

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>

#include <memory>
#include <thread>
#include <vector>

class CSingleServiceScheduler {
 public:
  explicit CSingleServiceScheduler(unsigned threadCount = 2);
  ~CSingleServiceScheduler();
  CSingleServiceScheduler(const CSingleServiceScheduler&) = delete;
  CSingleServiceScheduler& operator=(const CSingleServiceScheduler&) = delete;

  boost::asio::io_context& getIOService() { return _service; }
  // Host thread only, like startup and shutdown.
  bool isRunning() const { return _running; }
  // Starts the threads; they run the service until shutdown. Does nothing when running.
  void startup();
  // Stops the service and waits for the threads. Handlers still queued stay queued and
  // run (with their outcome) after the next startup. Must not run on a pool thread.
  void shutdown();

 private:
  typedef boost::asio::executor_work_guard<boost::asio::io_context::executor_type> WorkGuard;

  void runService();

  const unsigned _threadCount;
  boost::asio::io_context _service;
  std::unique_ptr<WorkGuard> _work;  // keeps run() going while no operation is pending
  std::vector<std::thread> _threads;
  bool _running;
};
