// Window messages between the program's windows and from its worker threads.
//
// A receiver (each window that takes messages) answers them through its own message
// map. postMessage queues a message for the receiver's thread (the GUI thread) and
// returns at once; messages posted to one receiver arrive in the order posted.
// sendMessage handles the message before it returns: directly when called on the GUI
// thread, and from another thread by handing it to the GUI thread and blocking until
// it has been handled. The numbers are the program's own; the same number may mean
// different things to different receivers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

class QObject;

namespace platform {

using WPARAM = intptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

constexpr uint32_t WM_USER = 1024;
constexpr uint32_t WM_IMAGE_INFO = WM_USER + 101;
constexpr uint32_t WM_VTR_STATUS = WM_USER + 103;
constexpr uint32_t WM_WAIT_CLOSE = WM_USER + 108;
constexpr uint32_t WM_WAIT_SHOW = WM_USER + 110;
constexpr uint32_t WM_CAPTURE_FRAME = WM_USER + 115;
constexpr uint32_t WM_WAIT_ABORT = WM_USER + 119;
constexpr uint32_t WM_WAIT_PROGRESS = WM_USER + 120;
constexpr uint32_t WM_INSERT_FILES = WM_USER + 120;
constexpr uint32_t WM_CAPTURE_STATE = WM_USER + 122;
constexpr uint32_t WM_STARTUP = WM_USER + 130;
constexpr uint32_t WM_AUTO_ERROR = WM_USER + 130;

class MessageReceiver {
 public:
  using Handler = std::function<LRESULT(WPARAM, LPARAM)>;

  // Must be constructed on the GUI thread (the thread whose event loop delivers).
  MessageReceiver();
  virtual ~MessageReceiver();
  MessageReceiver(const MessageReceiver&) = delete;
  MessageReceiver& operator=(const MessageReceiver&) = delete;

  // Adds or replaces the handler of one message number.
  void onMessage(uint32_t msg, Handler handler);

  // Runs the handler of `msg`; a message without a handler gives 0.
  virtual LRESULT dispatchMessage(uint32_t msg, WPARAM w, LPARAM l);

  // The object whose thread handles this receiver's messages.
  QObject* messageObject() const;

 private:
  std::unordered_map<uint32_t, Handler> map_;
  std::unique_ptr<QObject> dispatcher_;
};

// Queues the message; false when there is no receiver.
bool postMessage(MessageReceiver* receiver, uint32_t msg, WPARAM w = 0, LPARAM l = 0);

// Handles the message on the receiver's thread and returns the handler's result
// (0 when there is no receiver or no handler).
LRESULT sendMessage(MessageReceiver* receiver, uint32_t msg, WPARAM w = 0, LPARAM l = 0);

// True on the GUI thread (the thread of the application object).
bool isGuiThread();

}  // namespace platform
