// What the benchmarks that launch programs on an X server share: a clock, an Xvfb server of
// their own, a watch on the windows it maps, and the environment the programs run in.
#pragma once

#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <poll.h>
#include <string>
#include <vector>

extern char **environ;

namespace {

constexpr int LaunchTimeoutMs = 30000;

double NowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

class Server
{
public:
    ~Server()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000)) {
                process_.kill();
                process_.waitForFinished();
            }
        }
    }

    bool Start(const QString &size)
    {
        process_.setStandardErrorFile(QProcess::nullDevice());
        process_.start(QStringLiteral("Xvfb"),
                       {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                        QStringLiteral("0"), size + QStringLiteral("x24"), QStringLiteral("-dpi"), QStringLiteral("96"),
                        QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
        if (!process_.waitForStarted(LaunchTimeoutMs))
            return false;
        QByteArray number;
        const double deadline = NowMs() + LaunchTimeoutMs;
        while (!number.contains('\n') && NowMs() < deadline && process_.state() == QProcess::Running) {
            process_.waitForReadyRead(100);
            number += process_.readAllStandardOutput();
        }
        if (!number.contains('\n'))
            return false;
        display_ = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
        return true;
    }

    QString Display() const { return display_; }

private:
    QProcess process_;
    QString display_;
};

// Watches the root window of the display for windows being mapped and destroyed.
class MapWatcher
{
public:
    bool Connect(const QString &display)
    {
        connection_ = xcb_connect(display.toLatin1().constData(), nullptr);
        if (xcb_connection_has_error(connection_))
            return false;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_void_cookie_t cookie = xcb_change_window_attributes_checked(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        if (std::unique_ptr<xcb_generic_error_t, decltype(&free)> error{xcb_request_check(connection_, cookie), &free};
            error)
            return false;
        return true;
    }

    ~MapWatcher()
    {
        if (connection_)
            xcb_disconnect(connection_);
    }

    // Waits for a window titled `title` to be mapped; returns its id (0 on timeout).
    xcb_window_t WaitMapped(const std::string &title, double deadline)
    {
        while (const auto event = Next(deadline)) {
            if ((event->response_type & 0x7f) != XCB_MAP_NOTIFY)
                continue;
            const auto *map = reinterpret_cast<const xcb_map_notify_event_t *>(event.get());
            if (Title(map->window) == title)
                return map->window;
        }
        return 0;
    }

    // Asks the window to close as a window manager does when the user clicks its close box.
    void RequestClose(xcb_window_t window)
    {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = Atom("WM_PROTOCOLS");
        message.data.data32[0] = Atom("WM_DELETE_WINDOW");
        message.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(connection_, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&message));
        xcb_flush(connection_);
    }

    bool WaitDestroyed(xcb_window_t window, double deadline)
    {
        while (const auto event = Next(deadline)) {
            if ((event->response_type & 0x7f) == XCB_DESTROY_NOTIFY &&
                reinterpret_cast<const xcb_destroy_notify_event_t *>(event.get())->window == window)
                return true;
        }
        return false;
    }

private:
    using Event = std::unique_ptr<xcb_generic_event_t, decltype(&free)>;

    Event Next(double deadline)
    {
        for (;;) {
            if (xcb_generic_event_t *event = xcb_poll_for_event(connection_))
                return Event(event, &free);
            const double left = deadline - NowMs();
            if (left <= 0 || xcb_connection_has_error(connection_))
                return Event(nullptr, &free);
            pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
            poll(&fd, 1, static_cast<int>(left) + 1);
        }
    }

    xcb_atom_t Atom(const char *name)
    {
        const xcb_intern_atom_cookie_t cookie =
            xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(name)), name);
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&free)> reply{
            xcb_intern_atom_reply(connection_, cookie, nullptr), &free};
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    }

    std::string Title(xcb_window_t window)
    {
        const xcb_get_property_cookie_t cookie =
            xcb_get_property(connection_, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
        std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> reply{
            xcb_get_property_reply(connection_, cookie, nullptr), &free};
        if (!reply)
            return {};
        return std::string(static_cast<const char *>(xcb_get_property_value(reply.get())),
                           static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
    }

    xcb_connection_t *connection_ = nullptr;
    xcb_window_t root_ = 0;
};

// The first of the candidate programs that can be run, as an absolute path; empty: none.
QString Locate(const QStringList &candidates)
{
    for (const QString &path : candidates)
        if (QFileInfo(path).isExecutable())
            return QFileInfo(path).absoluteFilePath();
    return QString();
}

std::vector<char *> Environment(const QString &display, const QString &configHome, std::vector<std::string> &storage)
{
    storage.clear();
    for (char **e = environ; *e; ++e) {
        const std::string entry = *e;
        for (const char *name : {"DISPLAY=", "QT_QPA_PLATFORM=", "QT_FONT_DPI=", "XDG_CONFIG_HOME="})
            if (entry.rfind(name, 0) == 0)
                goto skip;
        storage.push_back(entry);
    skip:;
    }
    storage.push_back("DISPLAY=" + display.toStdString());
    storage.push_back("QT_QPA_PLATFORM=xcb");
    storage.push_back("QT_FONT_DPI=96");
    storage.push_back("XDG_CONFIG_HOME=" + configHome.toStdString());
    std::vector<char *> pointers;
    for (std::string &entry : storage)
        pointers.push_back(entry.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace
