#include "uno_session.h"

#include "calc_connector.h"
#include "uno_text.h"

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XFramesSupplier.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XEventListener.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/implbase1.hxx>
#include <rtl/bootstrap.hxx>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <thread>

namespace korvex::calc {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using korvex::host::HostError;

void SessionState::markDead(const QString& why) {
    std::vector<std::weak_ptr<HeldBase>> toRelease;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (dead.exchange(true))
            return;
        deathReason = why;
        toRelease.swap(held);
    }
    for (const auto& w : toRelease)
        if (auto h = w.lock())
            h->release();
}

void SessionState::keep(const std::shared_ptr<HeldBase>& h) {
    std::lock_guard<std::mutex> lock(mutex);
    if (held.size() > 256 && held.size() % 256 == 0)
        held.erase(std::remove_if(held.begin(), held.end(),
                                  [](const std::weak_ptr<HeldBase>& w) { return w.expired(); }),
                   held.end());
    held.push_back(h);
}

QString SessionState::reason() {
    std::lock_guard<std::mutex> lock(mutex);
    return deathReason;
}

// A single thread that runs posted tasks in order. It is detached, never
// joined: if it hangs inside a call to a frozen office, nobody waits for it.
class Worker {
public:
    static std::shared_ptr<Worker> start() {
        auto w = std::shared_ptr<Worker>(new Worker);
        std::thread([w] { w->loop(); }).detach();
        return w;
    }
    void post(std::function<void()> task) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_tasks.push_back(std::move(task));
        }
        m_cv.notify_one();
    }
    void stop() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_cv.notify_one();
    }

private:
    Worker() = default;
    void loop() {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_cv.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
                if (m_tasks.empty())
                    return;
                task = std::move(m_tasks.front());
                m_tasks.pop_front();
            }
            task(); // never throws: run() wraps every task
        }
    }
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
};

namespace {

// Learns from the bridge itself when the office went away (process ended,
// pipe closed), as opposed to a single remote object having been disposed.
class BridgeListener : public cppu::WeakImplHelper1<css::lang::XEventListener> {
public:
    explicit BridgeListener(std::weak_ptr<SessionState> state) : m_state(std::move(state)) {}
    void SAL_CALL disposing(const css::lang::EventObject&) override {
        if (auto s = m_state.lock())
            s->markDead(QStringLiteral("The connection to LibreOffice was closed"));
    }

private:
    std::weak_ptr<SessionState> m_state;
};

void disposeQuietly(const Reference<css::uno::XInterface>& bridge,
                    const Reference<css::uno::XInterface>& connection) {
    try {
        Reference<css::connection::XConnection> c(connection, UNO_QUERY);
        if (c.is())
            c->close();
    } catch (...) {
    }
    try {
        Reference<css::lang::XComponent> b(bridge, UNO_QUERY);
        if (b.is())
            b->dispose();
    } catch (...) {
    }
}

// The connections open now. An exit() that bypasses the orderly shutdown (Qt
// ends the process so when the display server goes away) must not leave a
// bridge running into the static destructors: its threads and the office's
// calls to Korvex's listeners would run on in libraries being torn down. So
// the first connection registers a handler, run before the UNO runtime's
// statics go, that closes every bridge still open.
std::mutex& liveMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}
std::vector<std::weak_ptr<Session>>& liveSessions() {
    static auto* sessions = new std::vector<std::weak_ptr<Session>>;
    return *sessions;
}

void closeLiveSessionsAtExit() {
    std::vector<std::weak_ptr<Session>> sessions;
    {
        std::lock_guard<std::mutex> lock(liveMutex());
        sessions.swap(liveSessions());
    }
    for (const auto& w : sessions)
        if (auto session = w.lock())
            session->closeForExit();
}

void registerLive(const std::shared_ptr<Session>& session) {
    static const bool registered = std::atexit(closeLiveSessionsAtExit) == 0;
    (void)registered;
    std::lock_guard<std::mutex> lock(liveMutex());
    auto& sessions = liveSessions();
    sessions.erase(std::remove_if(sessions.begin(), sessions.end(),
                                  [](const std::weak_ptr<Session>& w) { return w.expired(); }),
                   sessions.end());
    sessions.push_back(session);
}

} // namespace

// The bridge writes to the office's pipe with plain send(): once the office
// has died, that write raises SIGPIPE, whose default action would end Korvex.
// Ignored, the failed write surfaces as an error of the call instead. Set at
// every connection, since test harnesses install their own handlers.
void ignoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

Reference<css::uno::XComponentContext> localContext() {
    // Never destroyed: released among static destructors, after an exit()
    // that bypassed the orderly shutdown, it would call into a runtime whose
    // libraries are already torn down.
    static const auto* context = new Reference<css::uno::XComponentContext>([] {
        // Without this the runtime cannot find its type libraries and the
        // first remote call crashes.
        const QString rc = QStringLiteral("vnd.sun.star.pathname:") + officeProgramDir() +
                           QStringLiteral("/fundamentalrc");
        rtl::Bootstrap::set("URE_BOOTSTRAP", toUno(rc));
        return cppu::defaultBootstrap_InitialComponentContext();
    }());
    return *context;
}

Session::Session() : m_state(std::make_shared<SessionState>()), m_worker(Worker::start()) {}

void Session::close(const QString& why) {
    m_worker->stop();
    if (!alive())
        return;
    m_state->markDead(why);
    // Closing a healthy bridge is quick; a side thread keeps an office that
    // stopped answering from holding up whoever drops the session.
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    std::thread([bridge = m_bridge, connection = m_connection, done] {
        disposeQuietly(bridge, connection);
        done->set_value();
    }).detach();
    finished.wait_for(std::chrono::seconds(2));
}

void Session::closeForExit() {
    close(QStringLiteral("Korvex is ending"));
}

Session::~Session() {
    close(QStringLiteral("The connection to LibreOffice was released"));
}

void Session::post(std::function<void()> task) {
    m_worker->post(std::move(task));
}

void Session::postQuietly(std::function<void()> f) {
    if (!alive())
        return;
    post([f = std::move(f), state = m_state] {
        state->callStarted();
        try {
            f();
        } catch (...) {
        }
        state->callEnded();
    });
}

void Session::throwDead() const {
    QString why = m_state->reason();
    if (why.isEmpty())
        why = QStringLiteral("The connection to LibreOffice is gone");
    throw HostError(why);
}

void Session::drop(const QString& why) {
    if (m_state->dead.load())
        return;
    m_state->markDead(why);
    std::thread([bridge = m_bridge, connection = m_connection] {
        disposeQuietly(bridge, connection);
    }).detach();
}

std::exception_ptr Session::translate(const std::shared_ptr<SessionState>& state) {
    try {
        throw;
    } catch (const HostError&) {
        return std::current_exception();
    } catch (const css::lang::DisposedException& e) {
        if (state->dead.load())
            return std::make_exception_ptr(HostError(state->reason()));
        return std::make_exception_ptr(
            HostError(QStringLiteral("The object no longer exists in LibreOffice (%1)")
                          .arg(toQt(e.Message))));
    } catch (const css::uno::RuntimeException& e) {
        if (state->dead.load())
            return std::make_exception_ptr(HostError(state->reason()));
        return std::make_exception_ptr(
            HostError(QStringLiteral("LibreOffice refused the call: %1").arg(toQt(e.Message))));
    } catch (const css::uno::Exception& e) {
        return std::make_exception_ptr(
            HostError(QStringLiteral("LibreOffice refused the call: %1").arg(toQt(e.Message))));
    } catch (const std::exception& e) {
        return std::make_exception_ptr(HostError(QString::fromLocal8Bit(e.what())));
    } catch (...) {
        return std::make_exception_ptr(HostError(QStringLiteral("Unknown failure in LibreOffice")));
    }
}

std::shared_ptr<Session> Session::open(const QString& pipe, std::chrono::milliseconds handshake,
                                       std::chrono::milliseconds timeout,
                                       std::shared_ptr<const SessionState>* state,
                                       bool* nothingListens) {
    ignoreBrokenPipes();
    std::shared_ptr<Session> s(new Session);
    s->m_timeout = timeout;
    if (state)
        *state = s->m_state;
    auto noListener = std::make_shared<std::atomic<bool>>(false);
    struct Parts {
        Reference<css::uno::XInterface> connection, bridge;
        Reference<css::uno::XComponentContext> context;
        Reference<css::frame::XDesktop2> desktop;
    };
    // The parts travel back through a shared holder so that a connection the
    // worker completes after the deadline is still torn down.
    auto holder = std::make_shared<Parts>();
    try {
        s->run(
            [holder, pipe, noListener, state = std::weak_ptr<SessionState>(s->m_state)] {
                auto local = localContext();
                auto connector = css::connection::Connector::create(local);
                Reference<css::connection::XConnection> connection;
                try {
                    connection = connector->connect(toUno(QStringLiteral("pipe,name=") + pipe));
                } catch (const css::connection::NoConnectException&) {
                    *noListener = true;
                    throw HostError(
                        QStringLiteral("No LibreOffice listens on the pipe \"%1\"").arg(pipe));
                }
                holder->connection = connection;
                auto factory = css::bridge::BridgeFactory::create(local);
                auto bridge = factory->createBridge("", "urp", connection, nullptr);
                holder->bridge = bridge;
                Reference<css::lang::XComponent> component(bridge, UNO_QUERY_THROW);
                component->addEventListener(new BridgeListener(state));
                Reference<css::uno::XComponentContext> context(
                    bridge->getInstance("StarOffice.ComponentContext"), UNO_QUERY);
                if (!context.is())
                    throw HostError(QStringLiteral("The office on pipe \"%1\" offers no component "
                                                   "context")
                                        .arg(pipe));
                holder->context = context;
                holder->desktop = css::frame::Desktop::create(context);
                auto st = state.lock();
                if (!st || st->dead.load())
                    disposeQuietly(holder->bridge, holder->connection); // too late
            },
            handshake);
    } catch (const HostError&) {
        if (nothingListens)
            *nothingListens = noListener->load();
        // A handshake cut off while the office is stopped leaves the office's
        // context registered as a dead proxy, poisoning every later
        // connection. So it is never cut: when the office answers at last,
        // the task itself closes the bridge it no longer needs.
        s->m_state->markDead(QStringLiteral("Connecting failed"));
        throw;
    }
    s->m_connection = holder->connection;
    s->m_bridge = holder->bridge;
    s->m_context = s->hold(holder->context);
    s->m_desktop = s->hold(holder->desktop);
    holder->context.clear();
    holder->desktop.clear();
    registerLive(s);
    return s;
}

bool Session::ping(std::chrono::milliseconds timeout) {
    if (!alive())
        return false;
    auto answered = std::make_shared<std::promise<bool>>();
    auto future = answered->get_future();
    Reference<css::frame::XDesktop2> desktop;
    try {
        desktop = m_desktop->get();
    } catch (const HostError&) {
        return false;
    }
    if (m_state->pinging.exchange(true))
        return false; // the last ping is still waiting for the office
    m_state->callStarted();
    std::thread([desktop, answered, state = m_state]() mutable {
        bool ok = false;
        try {
            Reference<css::frame::XFramesSupplier> frames(desktop, UNO_QUERY_THROW);
            frames->getActiveFrame();
            ok = true;
        } catch (...) {
        }
        desktop.clear(); // no proxy may outlive the call
        // Marked done before the answer is handed over: the next check may
        // start the moment the waiter sees it, and must not find this ping
        // still under way and count a live office as silent.
        state->pinging = false;
        state->callEnded();
        answered->set_value(ok);
    }).detach();
    if (!waitResponsively(future, timeout))
        return false;
    return future.get() && alive();
}

} // namespace korvex::calc
