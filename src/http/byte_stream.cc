#include "http/byte_stream.h"

#include <algorithm>
#include <cstring>

namespace qelvu {

void TStringStream::SetSize(int64_t size) {
  data_.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
  position_ = std::min(position_, Size());
}

void TStringStream::SetPosition(int64_t position) {
  position_ = std::clamp<int64_t>(position, 0, Size());
}

int64_t TStringStream::Read(void* buffer, int64_t count) {
  int64_t n = std::clamp<int64_t>(Size() - position_, 0, std::max<int64_t>(count, 0));
  if (n > 0) std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

void TStringStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return;
  // Overwrite what lies ahead of the position, append the rest: growing by resize first would
  // write every new byte twice, zeros and then the data.
  const char* bytes = static_cast<const char*>(buffer);
  const size_t position = static_cast<size_t>(position_);
  const size_t overwrite = std::min(static_cast<size_t>(count), data_.size() - position);
  std::memcpy(data_.data() + position, bytes, overwrite);
  data_.append(bytes + overwrite, static_cast<size_t>(count) - overwrite);
  position_ += count;
}

std::string TStringStream::TakeDataString() {
  std::string data = std::move(data_);
  data_.clear();
  position_ = 0;
  return data;
}

void TStringStream::Reserve(int64_t count) {
  // Bounded so an announced size the peer never sends cannot claim memory on its own.
  constexpr int64_t kMaxReserve = 4 << 20;
  data_.reserve(static_cast<size_t>(position_ + std::clamp<int64_t>(count, 0, kMaxReserve)));
}

}  // namespace qelvu
