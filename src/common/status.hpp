#pragma once

// Bad input is a value, never a print or an exit: library calls return a Status (or a Result<T>)
// whose message names the file and, where there is one, the line: "model.txt:12: ...". Each
// executable turns a failed Status into one line on stderr and an exit code.

#include <optional>
#include <string>
#include <utility>

namespace scenetext {

class Status {
 public:
  Status() = default;  // success

  static Status error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !message_.has_value(); }
  explicit operator bool() const { return ok(); }
  // Empty for success.
  const std::string& message() const {
    static const std::string kNone;
    return message_ ? *message_ : kNone;
  }

 private:
  explicit Status(std::string message) : message_(std::move(message)) {}
  std::optional<std::string> message_;
};

// A value or the Status that explains why there is none.
template <typename T>
class Result {
 public:
  Result(T value) : value_(std::move(value)) {}          // NOLINT: implicit by design
  Result(Status status) : status_(std::move(status)) {}  // NOLINT: implicit by design

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const Status& status() const { return status_; }
  T& value() & { return *value_; }
  const T& value() const& { return *value_; }
  T&& value() && { return std::move(*value_); }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() & { return *value_; }
  const T& operator*() const& { return *value_; }

 private:
  std::optional<T> value_;
  Status status_;
};

}  // namespace scenetext
