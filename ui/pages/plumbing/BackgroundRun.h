#pragma once
// Work that must not hold up the window thread (a read of main.db, a scan of /proc) runs on a
// task runner of the page's own; its result comes back to the window thread as a posted event.
#include <QObject>
#include <functional>
#include <mutex>
#include <utility>

#include "tasks/AsyncExecutor.h"

class BackgroundRun : public QObject {
public:
    explicit BackgroundRun(QObject* parent);
    // Waits for work under way (a result it still had to deliver is dropped).
    ~BackgroundRun() override;

    // Runs `work` on the worker; what it returns then runs on the window thread. False, and
    // nothing runs, while earlier work has not delivered yet or when no worker could be made.
    bool Run(std::function<std::function<void()>()> work);
    bool UnderWay() const { return underWay_; }

    // Runs `read` on the worker and hands its result to `use` on the window thread.
    template <typename Reader, typename Use>
    bool Read(Reader read, Use use) {
        return Run([read = std::move(read), use = std::move(use)]() -> std::function<void()> {
            return [result = read(), use] { use(result); };
        });
    }

    // How many runs of the whole console have not delivered yet (tests wait for none).
    static int NotDelivered();
    // Delivers the results that came back (tests, which have no event loop running).
    static void DeliverPosted();

protected:
    bool event(QEvent* event) override;

private:
    void Delivered();

    bool underWay_ = false;
    std::mutex deliveryMutex_;
    std::function<void()> delivery_;  // set by the worker, run by the window thread
    AsyncExecutor runner_;            // last: its worker ends before the members above go
};
