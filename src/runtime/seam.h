#pragma once
// What a manager uses of one built after it (or of a test's stand-in): the assembly answers it,
// so it is absent until the serving manager is built and again once that one has gone.

#include <functional>
#include <utility>

namespace halvyn {

template <class T>
class Seam {
public:
    Seam() = default;
    explicit Seam(std::function<T*()> answer) : answer_(std::move(answer)) {}

    T* get() const { return answer_ ? answer_() : nullptr; }

private:
    std::function<T*()> answer_;
};

}  // namespace halvyn
