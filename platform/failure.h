// How every part of the program says that something did not work: an action returns
// std::optional<Failure>, empty when it worked; a function that makes a value returns Result<T>,
// the value or the failure. A stop someone asked for is an outcome, never a failure.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace platform {

struct Failure {
  std::string reason;  // in the words a person reads: "address already in use (error 10048)"
};

template <typename T>
class Result {
 public:
  Result(T made) : state_(std::move(made)) {}               // NOLINT: a value is a result
  Result(Failure failure) : state_(std::move(failure)) {}   // NOLINT: so is a failure

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  const T& value() const { return std::get<0>(state_); }
  T& value() { return std::get<0>(state_); }
  const T& operator*() const { return value(); }
  T& operator*() { return value(); }
  const T* operator->() const { return &value(); }
  T* operator->() { return &value(); }
  const Failure& failure() const { return std::get<1>(state_); }

 private:
  std::variant<T, Failure> state_;
};

}  // namespace platform
