// Reads what a receiver says of itself from the bytes it sends: its first
// break-info reply names its product, its serial number and, when its
// application answered rather than its monitor, the version it runs. So a
// run knows the receiver and its version before an update without asking
// anything more of it. Decoded with the virtual receiver's report decoder,
// written apart from the plug-in's packet classes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

struct ReceiverIdentity {
  std::string product;
  std::string serial;
  std::string version;  // "" when its monitor answered
};

class ReceiverWatch {
 public:
  // `first` is told the identity once, from the thread that fed the reply.
  explicit ReceiverWatch(std::function<void(const ReceiverIdentity&)> first = nullptr);
  ~ReceiverWatch();
  ReceiverWatch(const ReceiverWatch&) = delete;
  ReceiverWatch& operator=(const ReceiverWatch&) = delete;

  // Bytes as they came from the receiver.
  void Feed(const std::uint8_t* data, std::size_t count);
  // The first identity heard; empty fields until then.
  ReceiverIdentity First() const;

  // The identity a break-info reply's text gives ("PRODUCT,QZ710;...;VERSION,4.10;...").
  static ReceiverIdentity Parse(const std::string& text);

 private:
  struct Decoder;
  mutable std::mutex mutex_;
  std::unique_ptr<Decoder> decoder_;
  std::function<void(const ReceiverIdentity&)> firstHeard_;
  bool heard_ = false;
  ReceiverIdentity first_;
};
