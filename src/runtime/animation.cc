#include "runtime/animation.h"

namespace halvyn {

namespace {
thread_local const Animation* tCurrent = nullptr;
}

const Animation* currentAnimation() { return tCurrent; }

AnimationScope::AnimationScope(const Animation* anim) : previous_(tCurrent) { tCurrent = anim; }
AnimationScope::~AnimationScope() { tCurrent = previous_; }

void animate(MainQueue& queue, const Animation& anim, const std::function<void()>& change, Task completion) {
    {
        AnimationScope scope(&anim);
        if (change) change();
    }
    if (completion) queue.postAfter(anim.completion(), std::move(completion));
}

}  // namespace halvyn
