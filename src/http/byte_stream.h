// Byte streams with a position, the sink and source type of the HTTP client.
//
// `TByteStream` is the seam: the client reads request bodies from one and writes response
// bodies into one at its position. `TStringStream` is the growable in-memory stream the
// scraper uses; writes go to the position and extend the stream, so two bodies fetched into
// one stream end up one after the other. Not thread-safe; one thread at a time.
#pragma once

#include <cstdint>
#include <string>

namespace qelvu {

class TByteStream {
 public:
  virtual ~TByteStream() = default;

  virtual int64_t Size() const = 0;
  // Grows (with zero bytes) or cuts the stream; the position is clamped to the new size.
  virtual void SetSize(int64_t size) = 0;
  virtual int64_t Position() const = 0;
  virtual void SetPosition(int64_t position) = 0;
  // Copies up to `count` bytes from the position on and advances; returns the count copied.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes at the position, overwriting and extending as needed, and advances.
  virtual void Write(const void* buffer, int64_t count) = 0;
  // A hint that about `count` more bytes are coming; never changes the content.
  virtual void Reserve(int64_t /*count*/) {}
};

class TStringStream : public TByteStream {
 public:
  TStringStream() = default;
  explicit TStringStream(std::string data) : data_(std::move(data)) {}

  int64_t Size() const override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t size) override;
  int64_t Position() const override { return position_; }
  void SetPosition(int64_t position) override;
  int64_t Read(void* buffer, int64_t count) override;
  void Write(const void* buffer, int64_t count) override;
  void Reserve(int64_t count) override;

  // The whole content, independent of the position.
  const std::string& DataString() const { return data_; }
  // Hands the whole content over and leaves the stream empty, so a large body need not be copied.
  std::string TakeDataString();

 private:
  std::string data_;
  int64_t position_ = 0;
};

}  // namespace qelvu
