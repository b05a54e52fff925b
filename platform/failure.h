// How every part of the program says that something did not work: an action returns
// std::optional<Failure>, empty when it worked; a function that makes a value returns Result<T>,
// the value or the failure. A stop someone asked for is an outcome, never a failure, and so is
// another holder of something that keeps others out by design (the one-copy lock's name). Where
// a caller answers one failure unlike the rest, a type extending Failure says which (Result<T, F>).
#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace platform {

struct Failure {
  std::string reason;  // in the words a person reads: "address already in use (error 10048)"
};

template <typename T, typename F = Failure>
class Result {
  static_assert(std::is_base_of_v<Failure, F>, "a failure holds its reason");

 public:
  Result(T made) : state_(std::move(made)) {}         // NOLINT: a value is a result
  Result(F failure) : state_(std::move(failure)) {}   // NOLINT: so is a failure

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  const T& value() const { return std::get<0>(state_); }
  T& value() { return std::get<0>(state_); }
  const T& operator*() const { return value(); }
  T& operator*() { return value(); }
  const T* operator->() const { return &value(); }
  T* operator->() { return &value(); }
  const F& failure() const { return std::get<1>(state_); }

 private:
  std::variant<T, F> state_;
};

}  // namespace platform
