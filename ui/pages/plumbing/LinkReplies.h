#pragma once
// The window side of the link worker: a page asks for work to run on the worker (commands on
// the control channel, service-state queries) and gets the result back on the window thread,
// where it applies it. A result that arrives after the page is gone is dropped.
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "server_link/Lifeline.h"
#include "server_link/LinkWorker.h"
#include "ui/common/PrivateEvents.h"

class LinkReplies : public QObject {
public:
    explicit LinkReplies(QObject* parent, LinkWorker& worker = TheLinkWorker())
        : QObject(parent), worker_(worker) {}
    ~LinkReplies() override { lifeline_->Sever(); }

    // Runs `fetch` on the link worker, then `apply` with its result on the window thread.
    // False, and nothing runs, while this object's previous `poll` still waits or when the
    // worker is closed.
    template <typename Fetch, typename Apply>
    bool Ask(const char* poll, Fetch fetch, Apply apply) {
        using Result = std::invoke_result_t<Fetch&>;
        return worker_.Post(KeyOf(poll), [fetch = std::move(fetch), apply = std::move(apply),
                                          lifeline = lifeline_, receiver = this]() mutable {
            auto result = std::make_shared<Result>(fetch());
            lifeline->IfAlive([&] {
                QCoreApplication::postEvent(
                    receiver, new ReplyEvent([apply, result] { apply(std::move(*result)); }));
            });
        });
    }

protected:
    bool event(QEvent* event) override {
        if (event->type() != kLinkReplyEvent) return QObject::event(event);
        static_cast<ReplyEvent*>(event)->apply();
        return true;
    }

private:
    struct ReplyEvent : QEvent {
        explicit ReplyEvent(std::function<void()> a)
            : QEvent(kLinkReplyEvent), apply(std::move(a)) {}
        std::function<void()> apply;
    };

    // Polls of different pages (and of a page made where an old one was) never hold each
    // other up.
    std::string KeyOf(const char* poll) const { return std::to_string(id_) + "/" + poll; }

    static uint64_t NextId() {
        static std::atomic<uint64_t> last{0};
        return ++last;
    }

    LinkWorker& worker_;
    const uint64_t id_ = NextId();
    std::shared_ptr<Lifeline> lifeline_ = std::make_shared<Lifeline>();
};
