// What a screen reader sees of Tenvarel, read from the AT-SPI registry.
//
//     atspi_probe <program> [timeout seconds]
//
// Run inside a D-Bus session (dbus-run-session) with DISPLAY set to an X
// server: starts the program, waits until the accessibility registry lists
// it, walks its accessible tree and prints one JSON object per node,
// {"depth", "role", "name", "description"}; then ends the program. The last
// line is "END <count>". Exit status 0 when the tree was read.
//
// The whole walk runs over one connection to the accessibility bus: a tree
// of a few hundred nodes is read in well under a second, however busy the
// machine is.
#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

constexpr int CallTimeoutMs = 10000;
constexpr int WalkLimit = 5000;
const QString RegistryName = QStringLiteral("org.a11y.atspi.Registry");
const QString RootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString NullPath = QStringLiteral("/org/a11y/atspi/null");
const QString AccessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");

struct TNodeRef {
    QString service;
    QString path;
};

// The reply's arguments; an error reply or no reply gives none.
QList<QVariant> Call(const QDBusConnection& bus, const TNodeRef& node, const QString& interface,
                     const QString& method, const QList<QVariant>& args = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(node.service, node.path, interface, method);
    message.setArguments(args);
    const QDBusMessage reply = bus.call(message, QDBus::Block, CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage)
        return {};
    return reply.arguments();
}

// A value that may come wrapped in a D-Bus variant.
QVariant Unwrapped(QVariant value)
{
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

std::vector<TNodeRef> Children(const QDBusConnection& bus, const TNodeRef& node)
{
    std::vector<TNodeRef> children;
    const QList<QVariant> reply = Call(bus, node, AccessibleInterface, QStringLiteral("GetChildren"));
    if (reply.isEmpty() || reply.first().userType() != qMetaTypeId<QDBusArgument>())
        return children;
    const QDBusArgument array = reply.first().value<QDBusArgument>();
    array.beginArray();
    while (!array.atEnd()) {
        QString service;
        QDBusObjectPath path;
        array.beginStructure();
        array >> service >> path;
        array.endStructure();
        if (path.path() != NullPath)
            children.push_back({service, path.path()});
    }
    array.endArray();
    return children;
}

QString Property(const QDBusConnection& bus, const TNodeRef& node, const QString& name)
{
    const QList<QVariant> reply = Call(bus, node, QStringLiteral("org.freedesktop.DBus.Properties"),
                                       QStringLiteral("Get"), {AccessibleInterface, name});
    return reply.isEmpty() ? QString() : Unwrapped(reply.first()).toString();
}

QString RoleName(const QDBusConnection& bus, const TNodeRef& node)
{
    const QList<QVariant> reply = Call(bus, node, AccessibleInterface, QStringLiteral("GetRoleName"));
    return reply.isEmpty() ? QString() : reply.first().toString();
}

QByteArray JsonString(const QString& text)
{
    QByteArray out = "\"";
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            out += QByteArray("\\u00") + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
        } else {
            out += c;
        }
    }
    return out + "\"";
}

int Walk(const QDBusConnection& bus, const TNodeRef& node, int depth, int printed)
{
    if (printed >= WalkLimit)
        return printed;
    const QByteArray line = "{\"depth\": " + QByteArray::number(depth) +
                            ", \"role\": " + JsonString(RoleName(bus, node)) +
                            ", \"name\": " + JsonString(Property(bus, node, QStringLiteral("Name"))) +
                            ", \"description\": " + JsonString(Property(bus, node, QStringLiteral("Description"))) +
                            "}\n";
    std::fputs(line.constData(), stdout);
    ++printed;
    for (const TNodeRef& child : Children(bus, node))
        printed = Walk(bus, child, depth + 1, printed);
    return printed;
}

// The accessibility bus's address, asked of the session bus until it answers.
QString AccessibilityBusAddress(const QDeadlineTimer& deadline)
{
    const QDBusConnection session = QDBusConnection::sessionBus();
    while (!deadline.hasExpired()) {
        const QList<QVariant> reply = Call(session, {QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus")},
                                           QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
        if (!reply.isEmpty() && !reply.first().toString().isEmpty())
            return reply.first().toString();
        QThread::msleep(100);
    }
    return {};
}

// The application whose top-level window's name starts with the prefix.
bool FindApplication(const QDBusConnection& bus, const QString& framePrefix, const QDeadlineTimer& deadline,
                     TNodeRef& found)
{
    while (!deadline.hasExpired()) {
        for (const TNodeRef& app : Children(bus, {RegistryName, RootPath}))
            for (const TNodeRef& frame : Children(bus, app))
                if (Property(bus, frame, QStringLiteral("Name")).startsWith(framePrefix)) {
                    found = app;
                    return true;
                }
        QThread::msleep(100);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        std::fputs("usage: atspi_probe <program> [timeout seconds]\n", stderr);
        return 2;
    }
    const QString program = QString::fromLocal8Bit(argv[1]);
    const int timeoutSeconds = argc > 2 ? std::atoi(argv[2]) : 60;
    const QDeadlineTimer deadline{std::chrono::seconds(timeoutSeconds)};

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_ACCESSIBILITY"), QStringLiteral("1"));
    environment.remove(QStringLiteral("TENVAREL_QUIT_AFTER_SHOW"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QFileInfo(program).absolutePath());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, {});
    if (!process.waitForStarted(CallTimeoutMs)) {
        std::puts("ERROR the program did not start");
        return 1;
    }

    int status = 0;
    const QString address = AccessibilityBusAddress(deadline);
    if (address.isEmpty()) {
        std::puts("ERROR no accessibility bus");
        status = 1;
    } else {
        const QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("a11y"));
        TNodeRef app;
        if (!FindApplication(bus, QStringLiteral("Tenvarel"), deadline, app)) {
            std::puts("ERROR Tenvarel never appeared in the registry");
            status = 1;
        } else {
            const int count = Walk(bus, app, 0, 0);
            std::printf("END %d\n", count);
        }
    }
    std::fflush(stdout);
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(-1);
    }
    return status;
}
