// The post record alone: which pass-on is queued or dropped, and when and
// where a post's loss runs, its targets played by addresses that are never
// read (a record's address may serve a new one once it is gone).
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "ecm/core/VLECMPostAnswers.h"
#include "tests/support/Watchdog.h"

namespace {
void Callback(long, void*, CVLCallbackInfo*) {}

CVLECMPostAnswers::SPost PostOf(uintptr_t nTarget, long lId = 0)
{
    CVLECMPostAnswers::SPost post;
    post.pTarget = reinterpret_cast<CVLTarget*>(nTarget);
    post.pCallback = Callback;
    post.lCallbackId = lId;
    return post;
}

// The losses run, in order: true for a refusal, false for a stop.
struct SLosses
{
    std::mutex mutex;
    std::vector<bool> seen;
    CVLECMPostAnswers::FLost Handler()
    {
        return [this](bool bRefused) {
            std::lock_guard<std::mutex> lock(mutex);
            seen.push_back(bRefused);
        };
    }
    std::vector<bool> Get()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return seen;
    }
};

const CVLECMPostAnswers::FQueue kTaken = []() { return true; };
const CVLECMPostAnswers::FQueue kRefused = []() { return false; };
const std::function<void()> kHeld = []() {};
}  // namespace

// Each row: what befalls a post (or two), what its pass-ons meet, and
// which losses run.
TEST(ECMPostAnswers, LatePassOnsAndLosses)
{
    struct SRow
    {
        const char* szName;
        // Makes the posts and passes them on; the losses to expect.
        std::function<void(CVLECMPostAnswers&, SLosses&)> fnRun;
        std::vector<bool> expectedLosses;
    };
    const CVLECMPostAnswers::SPost post = PostOf(0x1000);
    const std::vector<SRow> rows = {
        {"a gone target's address serving a new one: the new post queued, the old dropped",
         [&](CVLECMPostAnswers& answers, SLosses& losses) {
             answers.Post(post, losses.Handler(), kHeld);
             answers.Forget(post.pTarget);
             answers.Post(post, losses.Handler(), kHeld);
             EXPECT_TRUE(answers.Pass(post, kTaken));
             EXPECT_FALSE(answers.Pass(post, kTaken));
             EXPECT_TRUE(answers.Pass(post, kTaken));  // none held: a note
         },
         {}},
        {"an override that throws after passing on a refused post",
         [&](CVLECMPostAnswers& answers, SLosses& losses) {
             EXPECT_THROW(answers.Post(post, losses.Handler(),
                                       [&]() {
                                           answers.Pass(post, kRefused);
                                           throw 1;
                                       }),
                          int);
         },
         {true}},
        {"refused after the poster returned: lost on the dispatch pass, not inside the pass-on",
         [&](CVLECMPostAnswers& answers, SLosses& losses) {
             answers.Post(post, losses.Handler(), kHeld);
             EXPECT_FALSE(answers.Pass(post, kRefused));
             EXPECT_TRUE(losses.Get().empty());
             answers.RunRefused();
         },
         {true}},
        {"judged at the stop: lost once, its pass-on dropped",
         [&](CVLECMPostAnswers& answers, SLosses& losses) {
             answers.Post(post, losses.Handler(), kHeld);
             answers.Judge();
             answers.Judge();
             EXPECT_FALSE(answers.Pass(post, kTaken));
             answers.Judge();
         },
         {false}},
        {"a client's own post outlives the stop",
         [&](CVLECMPostAnswers& answers, SLosses&) {
             answers.Post(post, nullptr, kHeld);
             answers.Judge();
             EXPECT_TRUE(answers.Pass(post, kTaken));
         },
         {}},
        {"a client's own post of a target gone: dropped",
         [&](CVLECMPostAnswers& answers, SLosses&) {
             answers.Post(post, nullptr, kHeld);
             answers.Forget(nullptr);
             EXPECT_FALSE(answers.Pass(post, kTaken));
         },
         {}},
        {"a loss that removes another target: that one's loss, not begun, never runs",
         [&](CVLECMPostAnswers& answers, SLosses& losses) {
             const CVLECMPostAnswers::SPost other = PostOf(0x3000);
             answers.Post(post, [&](bool) { answers.Forget(other.pTarget); }, kHeld);
             answers.Post(other, losses.Handler(), kHeld);
             answers.Judge();
             EXPECT_FALSE(answers.Pass(post, kTaken));
         },
         {}},
        {"forgotten posts kept within their bound, the newest dropped",
         [&](CVLECMPostAnswers& answers, SLosses&) {
             const long lCount = static_cast<long>(CVLECMPostAnswers::MAX_FORGOTTEN) + 10;
             for (long i = 0; i < lCount; ++i)
                 answers.Post(PostOf(0x1000, i), nullptr, kHeld);
             answers.Forget(post.pTarget);
             EXPECT_EQ(CVLECMPostAnswers::MAX_FORGOTTEN, answers.GetForgottenCount());
             EXPECT_FALSE(answers.Pass(PostOf(0x1000, lCount - 1), kTaken));
         },
         {}},
    };
    for (const SRow& row : rows) {
        SCOPED_TRACE(row.szName);
        CVLECMPostAnswers answers;
        SLosses losses;
        row.fnRun(answers, losses);
        EXPECT_EQ(row.expectedLosses, losses.Get());
        EXPECT_EQ(0u, answers.GetCount());
    }
}

// A record goes while the loss of its post runs on another thread: Forget
// returns only once that loss is over, as the record is destroyed after.
TEST(ECMPostAnswers, ForgetWaitsForALossRunningOnItsTarget)
{
    CWatchdog watchdog(60, "ECMPostAnswers");
    CVLECMPostAnswers answers;
    const CVLECMPostAnswers::SPost post = PostOf(0x2000, 1);
    std::mutex mutex;
    std::condition_variable cond;
    bool bStarted = false;
    bool bReleased = false;
    std::atomic<bool> bOver{false};
    answers.Post(post, [&](bool) {
        std::unique_lock<std::mutex> lock(mutex);
        bStarted = true;
        cond.notify_all();
        cond.wait(lock, [&]() { return bReleased; });
        bOver = true;
    }, kHeld);
    // A second post of it, waiting: Forget has begun once it is gone.
    answers.Post(PostOf(0x2000, 2), nullptr, kHeld);
    answers.Pass(post, kRefused);
    std::thread loss([&]() { answers.RunRefused(); });
    {
        std::unique_lock<std::mutex> lock(mutex);
        cond.wait(lock, [&]() { return bStarted; });
    }
    std::thread release([&]() {
        while (answers.GetCount() != 0)
            std::this_thread::yield();
        std::lock_guard<std::mutex> lock(mutex);
        bReleased = true;
        cond.notify_all();
    });
    answers.Forget(post.pTarget);
    EXPECT_TRUE(bOver);
    release.join();
    loss.join();
}
