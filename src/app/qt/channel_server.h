#pragma once
// The companion channel: a per-user local socket on which drossgate-ctl sends
// one request line and gets one reply line. Requests are acted on in the
// window thread's event loop, as posted window messages would be. A
// connection from a program of another user is closed unanswered.
#include <QLocalServer>
#include <QObject>
#include <functional>
#include <string>

class CChannelServer : public QObject {
    Q_OBJECT
  public:
    // Called on the window thread for each request. `reply` may be called
    // later (and from any thread) for requests that wait.
    using ReplyFunction = std::function<void(const std::string& line)>;
    using Handler = std::function<void(const std::string& request, ReplyFunction reply)>;

    explicit CChannelServer(Handler handler, QObject* parent = nullptr);

    // Listens on `path`. Removes a leftover socket file first (the caller
    // holds the instance lock), unless a live program still answers there;
    // fails too when a program of another user answers there.
    bool Listen(const std::string& path, std::string& error);

  private:
    void OnNewConnection();

    Handler handler_;
    QLocalServer server_;
};
