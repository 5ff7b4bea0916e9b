#pragma once

// Work on a list spread over threads, with what must stay in list order kept in that order:
// the results are taken by the calling thread item by item, and a section that draws from a
// shared sequence (such as seeded identifiers) is entered by the items one after the other.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace qm::platform {

// Lets the items of a list pass one section in list order, whatever thread runs each. Every
// item takes its turn exactly once, through a Ticket: item i enters after items 0 to i - 1
// have passed, and an item that leaves without entering (a failure, an exception) still
// passes, so no later item waits for ever.
class InTurn {
  public:
    class Ticket {
      public:
        Ticket(InTurn& turn, size_t item) : turn_(turn), item_(item) {}
        Ticket(const Ticket&) = delete;
        Ticket& operator=(const Ticket&) = delete;
        ~Ticket() {
            if (!taken_) {
                Take([] {});
            }
        }

        // Runs `section` in the item's turn; at most once.
        template <class Section>
        void Take(Section&& section) {
            taken_ = true;
            std::unique_lock<std::mutex> lock(turn_.mutex_);
            turn_.changed_.wait(lock, [this] { return turn_.next_ == item_; });
            struct Pass {
                InTurn& turn;
                ~Pass() {
                    ++turn.next_;
                    turn.changed_.notify_all();
                }
            } pass{turn_};
            section();
        }

      private:
        InTurn& turn_;
        size_t item_;
        bool taken_ = false;
    };

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t next_ = 0;
};

// Lets the items of a list hold shares of a budget, such as bytes in memory, taken in list
// order: item i takes its share after items 0 to i - 1 took theirs, once the share fits beside
// what is held, or at once when nothing is held, so that an item larger than the whole budget
// still runs, alone. Every item takes exactly one share, possibly empty. Taking in order keeps
// the budget from deadlocking with an InTurn: an item that holds a share waits only for
// earlier items, and those hold theirs already.
class OrderedBudget {
  public:
    explicit OrderedBudget(size_t limit) : limit_(limit) {}

    class Share {
      public:
        Share(OrderedBudget& budget, size_t item, size_t amount)
            : budget_(budget), amount_(amount) {
            std::unique_lock<std::mutex> lock(budget_.mutex_);
            budget_.changed_.wait(lock, [&] {
                return budget_.next_ == item &&
                       (budget_.held_ == 0 || budget_.held_ + amount <= budget_.limit_);
            });
            budget_.held_ += amount;
            ++budget_.next_;
            budget_.changed_.notify_all();
        }
        Share(const Share&) = delete;
        Share& operator=(const Share&) = delete;
        ~Share() {
            const std::lock_guard<std::mutex> lock(budget_.mutex_);
            budget_.held_ -= amount_;
            budget_.changed_.notify_all();
        }

      private:
        OrderedBudget& budget_;
        size_t amount_;
    };

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    size_t limit_;
    size_t held_ = 0;
    size_t next_ = 0;
};

// The number of threads worth starting for work that keeps a processor busy.
inline unsigned ProcessorCount() {
    return std::max(1u, std::thread::hardware_concurrency());
}

// Runs work(i) for every i below `count` on up to `threads` threads, and calls deliver(i) on
// the calling thread in the order of i, each as soon as work(i) has returned. An exception
// thrown by work(i) is thrown again by the calling thread in place of deliver(i), once the
// threads have stopped; items after i may have run by then, and are not delivered. With one
// thread, or when no thread can be started, every item runs on the calling thread, each
// delivered before the next starts.
template <class Work, class Deliver>
void RunInOrder(size_t count, unsigned threads, Work&& work, Deliver&& deliver) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable finished;
        std::vector<bool> done;
        std::vector<std::exception_ptr> failures;
        std::atomic<size_t> next{0};
        std::atomic<bool> stop{false};
    } shared;
    shared.done.assign(count, false);
    shared.failures.resize(count);
    auto worker = [&] {
        for (size_t item; !shared.stop && (item = shared.next++) < count;) {
            std::exception_ptr failure;
            // Carried to the calling thread, which throws it where the item is delivered.
            try {
                work(item);
            } catch (...) {
                failure = std::current_exception();
            }
            const std::lock_guard<std::mutex> lock(shared.mutex);
            shared.failures[item] = failure;
            shared.done[item] = true;
            shared.finished.notify_all();
        }
    };

    std::vector<std::jthread> pool;
    // Destroyed before `pool` joins the threads: no thread takes a new item after a failure.
    struct StopOnExit {
        Shared& shared;
        ~StopOnExit() { shared.stop = true; }
    } stopOnExit{shared};
    if (threads > 1 && count > 1) {
        const size_t wanted = std::min<size_t>(threads, count);
        pool.reserve(wanted);
        // A thread that cannot be started leaves its share to the others.
        try {
            while (pool.size() < wanted) {
                pool.emplace_back(worker);
            }
        } catch (const std::system_error&) {
        }
    }
    if (pool.empty()) {
        for (size_t item = 0; item < count; ++item) {
            work(item);
            deliver(item);
        }
        return;
    }
    for (size_t item = 0; item < count; ++item) {
        std::exception_ptr failure;
        {
            std::unique_lock<std::mutex> lock(shared.mutex);
            shared.finished.wait(lock, [&] { return shared.done[item]; });
            failure = shared.failures[item];
        }
        if (failure) {
            shared.stop = true;
            pool.clear();
            std::rethrow_exception(failure);
        }
        deliver(item);
    }
}

}  // namespace qm::platform
