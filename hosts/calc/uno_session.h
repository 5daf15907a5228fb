#pragma once
// One connection to a running LibreOffice over its UNO pipe.
//
// Every remote call runs on the session's own worker thread and the caller
// waits for it with a deadline. A LibreOffice that was stopped (not killed)
// never answers, and a UNO call has no timeout of its own; waiting on a worker
// is the only way to keep Korvex responsive. After a missed deadline the
// connection counts as dead: the bridge is torn down, the late answer (if one
// ever comes) is thrown away, and the next attach builds a fresh connection.
//
// Tasks handed to run() must capture what they use BY VALUE: after a timeout
// the caller's frame is gone while the worker may still be inside the task.

#include "host.h"
#include "responsive_wait.h"

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <QString>

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

namespace korvex::calc {

namespace css = com::sun::star;

// A UNO reference kept by a long-lived object (a workbook or cell handle).
// The office hands out the same object ids on every connection, and the local
// runtime maps an id back to whatever proxy is still alive: one proxy left over
// from a dead connection would break every later connection to the same
// office. So when a connection dies, every kept reference is let go at once.
class HeldBase {
public:
    virtual ~HeldBase() = default;
    virtual void release() = 0;
};

template <class T> class Held : public HeldBase {
public:
    explicit Held(css::uno::Reference<T> r) : m_ref(std::move(r)) {}
    // A copy for one call; HostError once the connection is gone.
    css::uno::Reference<T> get() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_ref.is())
            throw host::HostError(QStringLiteral("The connection to LibreOffice is gone"));
        return m_ref;
    }
    void release() override {
        css::uno::Reference<T> gone;
        std::lock_guard<std::mutex> lock(m_mutex);
        gone = std::move(m_ref);
        m_ref.clear();
    }

private:
    mutable std::mutex m_mutex;
    css::uno::Reference<T> m_ref;
};
template <class T> using HeldPtr = std::shared_ptr<Held<T>>;

// Shared between the session, its worker and the bridge listener, so that a
// late callback never touches a destroyed session.
struct SessionState {
    std::atomic<bool> dead{false};
    // Calls into the office now under way (on the worker or a ping thread).
    // A connection given up on a frozen office keeps its one stuck call;
    // while that has not come back, the office has not come back either.
    std::atomic<int> inFlight{0};
    // Every call into an office starts and ends here, so that the calls under
    // way in the whole process are known too.
    void callStarted() {
        ++inFlight;
        ++underWayEverywhere;
    }
    void callEnded() {
        --inFlight;
        --underWayEverywhere;
    }
    static inline std::atomic<int> underWayEverywhere{0};
    std::atomic<bool> pinging{false};
    std::mutex mutex;
    QString deathReason;
    std::vector<std::weak_ptr<HeldBase>> held;
    void markDead(const QString& why);
    QString reason();
    void keep(const std::shared_ptr<HeldBase>& h);
};

class Worker;

class Session : public std::enable_shared_from_this<Session> {
public:
    // Connects to the office listening on `pipe`. Throws HostError when nothing
    // listens there or the office does not answer within `timeout`.
    // `handshake` bounds the connection itself, `timeout` every later call.
    // On failure *state (when given) is the failed connection's state, so
    // the caller can tell when a handshake stuck in a frozen office ends;
    // *nothingListens says whether the pipe had no listener at all.
    static std::shared_ptr<Session> open(const QString& pipe, std::chrono::milliseconds handshake,
                                         std::chrono::milliseconds timeout,
                                         std::shared_ptr<const SessionState>* state = nullptr,
                                         bool* nothingListens = nullptr);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool alive() const { return !m_state->dead.load(); }
    std::shared_ptr<const SessionState> state() const { return m_state; }
    // Drops the connection: later calls fail at once with HostError.
    void drop(const QString& why);
    // Closes the bridge before the process's static destructors run.
    void closeForExit();

    css::uno::Reference<css::uno::XComponentContext> context() const { return m_context->get(); }
    css::uno::Reference<css::frame::XDesktop2> desktop() const { return m_desktop->get(); }

    // Keeps `r` for a long-lived object; released when the connection dies.
    template <class T> HeldPtr<T> hold(css::uno::Reference<T> r) {
        auto h = std::make_shared<Held<T>>(std::move(r));
        keep(h);
        return h;
    }
    // Releases `h` when the connection dies (at once when it is dead).
    void keep(const std::shared_ptr<HeldBase>& h) {
        m_state->keep(h);
        if (!alive())
            h->release();
    }
    std::chrono::milliseconds callTimeout() const { return m_timeout; }

    // Runs `f` on the worker and returns its result. UNO exceptions become
    // HostError; a missed deadline drops the connection and throws HostError.
    template <class F> auto run(F f) -> std::invoke_result_t<F&> {
        return run(std::move(f), m_timeout);
    }
    template <class F> auto run(F f, std::chrono::milliseconds timeout) -> std::invoke_result_t<F&>;
    // For calls that legitimately take as long as the user likes (a modal
    // dialog): no deadline, but the office is pinged on a side thread every
    // few seconds and a ping that goes unanswered drops the connection.
    // Korvex's windows keep painting meanwhile and take no input.
    template <class F> auto runWhileAlive(F f) -> std::invoke_result_t<F&>;
    // Queues `f` for the worker now; the call returned waits for it as run()
    // does (deadline counted from that call) and gives its result.
    template <class F> auto begin(F f) -> std::function<std::invoke_result_t<F&>()>;
    // Queues `f` for the worker without waiting for it; its failure is
    // ignored. For tidying up that must not hold anyone up.
    void postQuietly(std::function<void()> f);

    // True when the office answers a trivial call within `timeout`. At most
    // one ping is under way at a time: while an earlier one has not come
    // back, the office counts as silent at once.
    bool ping(std::chrono::milliseconds timeout);

private:
    Session();
    // Marks the connection dead with `why` and closes the bridge, waiting a
    // little for an office that no longer answers.
    void close(const QString& why);
    void post(std::function<void()> task);
    // Queues f for the UNO thread; its result or translated failure arrives
    // through the future.
    template <class F> auto submit(F f) -> std::future<std::invoke_result_t<F&>>;
    [[noreturn]] void throwDead() const;
    // Translates an exception caught on the worker into HostError.
    static std::exception_ptr translate(const std::shared_ptr<SessionState>& state);

    std::shared_ptr<SessionState> m_state;
    std::shared_ptr<Worker> m_worker;
    std::chrono::milliseconds m_timeout{30000};
    HeldPtr<css::uno::XComponentContext> m_context;
    HeldPtr<css::frame::XDesktop2> m_desktop;
    css::uno::Reference<css::uno::XInterface> m_bridge;
    css::uno::Reference<css::uno::XInterface> m_connection;
};

template <class F> auto Session::submit(F f) -> std::future<std::invoke_result_t<F&>> {
    using R = std::invoke_result_t<F&>;
    if (!alive())
        throwDead();
    auto promise = std::make_shared<std::promise<R>>();
    std::future<R> future = promise->get_future();
    post([f = std::move(f), promise, state = m_state]() mutable {
        state->callStarted();
        struct Done {
            SessionState& s;
            ~Done() { s.callEnded(); }
        } done{*state};
        try {
            if constexpr (std::is_void_v<R>) {
                f();
                promise->set_value();
            } else {
                promise->set_value(f());
            }
        } catch (...) {
            promise->set_exception(translate(state));
        }
    });
    return future;
}

template <class F>
auto Session::run(F f, std::chrono::milliseconds timeout) -> std::invoke_result_t<F&> {
    auto future = submit(std::move(f));
    if (!waitPainting(future, timeout)) {
        drop(QStringLiteral("LibreOffice did not answer within %1 s; the connection was dropped")
                 .arg(timeout.count() / 1000.0));
        throwDead();
    }
    return future.get();
}

template <class F> auto Session::begin(F f) -> std::function<std::invoke_result_t<F&>()> {
    auto future = std::make_shared<std::future<std::invoke_result_t<F&>>>(submit(std::move(f)));
    return [self = shared_from_this(), future] {
        if (!waitPainting(*future, self->m_timeout)) {
            self->drop(QStringLiteral("LibreOffice did not answer within %1 s; the connection "
                                      "was dropped")
                           .arg(self->m_timeout.count() / 1000.0));
            self->throwDead();
        }
        return future->get();
    };
}

template <class F> auto Session::runWhileAlive(F f) -> std::invoke_result_t<F&> {
    auto future = submit(std::move(f));
    const auto slice = std::chrono::seconds(3);
    while (!waitResponsively(future, slice)) {
        if (!alive() || !ping(std::min(m_timeout, std::chrono::milliseconds(10000)))) {
            drop(QStringLiteral("LibreOffice stopped answering while its dialog was open"));
            throwDead();
        }
    }
    return future.get();
}

// Calls into an office now under way on any connection, given-up ones
// included: a frozen office holds at most one of them.
inline int callsUnderWay() {
    return SessionState::underWayEverywhere.load();
}

// Bootstraps the local UNO runtime once per process (thread-safe).
css::uno::Reference<css::uno::XComponentContext> localContext();

} // namespace korvex::calc
