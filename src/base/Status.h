#pragma once
// The one shape of a failure: a cause code from base/FileCause.h and, where the failing layer
// knows more than the code says (a folder, a socket error, a message the operator is shown),
// a detail text. Readers and writers return it; the handler that owns the request turns it
// into its log line and reply. A default CStatus is success.
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/FileCause.h"

namespace kestrom {

class [[nodiscard]] CStatus {
  public:
    CStatus() = default;
    static CStatus Failure(int cause, std::u16string detail = {}) {
        CStatus status;
        status.cause_ = cause == file_cause::kNone ? file_cause::kGeneric : cause;
        status.detail_ = std::move(detail);
        return status;
    }

    bool Ok() const { return cause_ == file_cause::kNone; }
    explicit operator bool() const { return Ok(); }
    int Cause() const { return cause_; }
    // The cause as the log shows it ("ACCESS DENIED"), empty on success.
    std::u16string_view CauseText() const { return FileCauseText(cause_); }
    const std::u16string& Detail() const { return detail_; }

  private:
    int cause_ = file_cause::kNone;
    std::u16string detail_;
};

// A value, or the status that says why there is none.
template <class T>
class [[nodiscard]] CResult {
  public:
    CResult(T value) : value_(std::move(value)) {}  // NOLINT: implicit, as the value itself
    CResult(CStatus failure) : status_(std::move(failure)) {
        if (status_.Ok()) status_ = CStatus::Failure(file_cause::kGeneric);
    }

    bool Ok() const { return value_.has_value(); }
    explicit operator bool() const { return Ok(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    const CStatus& Status() const { return status_; }

  private:
    std::optional<T> value_;
    CStatus status_;
};

}  // namespace kestrom
