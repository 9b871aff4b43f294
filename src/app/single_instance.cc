#include "app/single_instance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QUrl>
#include <cerrno>
#include <optional>

namespace qelvu {
namespace {

Q_LOGGING_CATEGORY(lcInstance, "qelvu.instance", QtWarningMsg)

// A running instance answers a connect at once; one that takes longer is stuck, and a stuck
// window must not hold up the user's start for long.
constexpr int kConnectMs = 2000;
constexpr int kWriteMs = 5000;
// Two starts racing for the socket wait for each other this long at most.
constexpr int kLockMs = 10000;
// A hand-off is a few file names; anything larger is not one of ours.
constexpr qint64 kMaxMessageBytes = 1 << 20;
constexpr quint32 kMagic = 0x51454c56;  // "QELV"

bool IsPrivateFolder(const QString& path) {
  struct stat info;
  if (::lstat(QFile::encodeName(path).constData(), &info) != 0) return false;
  return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

// One socket per display and configuration: a window on another screen is no use to the user,
// and a run with its own configuration (the demo, a test) must not feed the user's.
QString SocketPath(const QString& folder) {
  QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
  if (display.isEmpty()) display = qEnvironmentVariable("DISPLAY");
  const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  const QByteArray key = (display + QLatin1Char('\n') + config).toUtf8();
  const QByteArray digest = QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex();
  return folder + QStringLiteral("/instance-") + QString::fromLatin1(digest.left(16));
}

QByteArray Encode(const QStringList& sources) {
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out.setVersion(QDataStream::Qt_6_0);
  out << kMagic << sources;
  return bytes;
}

std::optional<QStringList> Decode(const QByteArray& bytes) {
  QDataStream in(bytes);
  in.setVersion(QDataStream::Qt_6_0);
  quint32 magic = 0;
  QStringList sources;
  in >> magic >> sources;
  if (in.status() != QDataStream::Ok || magic != kMagic || !in.atEnd()) return std::nullopt;
  return sources;
}

bool Send(QLocalSocket& socket, const QStringList& sources) {
  const QByteArray bytes = Encode(sources);
  if (socket.write(bytes) != bytes.size()) return false;
  while (socket.bytesToWrite() > 0) {
    if (!socket.waitForBytesWritten(kWriteMs)) return false;
  }
  socket.disconnectFromServer();
  return true;
}

}  // namespace

TSingleInstance::TSingleInstance() = default;
TSingleInstance::~TSingleInstance() = default;

bool TSingleInstance::HandToRunningInstance(const QStringList& sources) {
  const QString folder = InstanceFolder(qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath());
  if (folder.isEmpty()) {
    qCWarning(lcInstance) << "no private folder for the instance socket; running on its own";
    return false;
  }
  const QString path = SocketPath(folder);
  // Between finding no instance and listening, another start must not do the same: it would
  // remove this one's fresh socket as stale.
  QLockFile lock(path + QStringLiteral(".lock"));
  if (!lock.tryLock(kLockMs)) {
    qCWarning(lcInstance) << "cannot lock" << lock.fileName() << "; running on its own";
    return false;
  }

  QLocalSocket socket;
  socket.connectToServer(path);
  if (socket.waitForConnected(kConnectMs)) {
    if (Send(socket, sources)) {
      qCInfo(lcInstance) << "handed to the running instance:" << sources;
      return true;
    }
    qCWarning(lcInstance) << "the running instance took nothing:" << socket.errorString();
  } else if (socket.error() != QLocalSocket::ServerNotFoundError &&
             socket.error() != QLocalSocket::ConnectionRefusedError) {
    // Something listens but does not answer: taking its socket away would cut it off for good.
    qCWarning(lcInstance) << "the running instance does not answer:" << socket.errorString();
    return false;
  }

  // Nobody listens: what is there is left from a run that ended without closing it.
  QLocalServer::removeServer(path);
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(path)) {
    qCWarning(lcInstance) << "cannot listen on" << path << ":" << server_->errorString();
    server_.reset();
    return false;
  }
  QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(),
                   [this] { Accept(); });
  // A window closing down takes a while to end (the web engine's processes); a start in that
  // time must find no instance, not hand its playlists to one that will never show them.
  if (QCoreApplication* app = QCoreApplication::instance()) {
    QObject::connect(app, &QCoreApplication::aboutToQuit, server_.get(), &QLocalServer::close);
  }
  qCInfo(lcInstance) << "listening on" << path;
  return false;
}

void TSingleInstance::Accept() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket] {
      if (socket->bytesAvailable() > kMaxMessageBytes) socket->abort();
    });
    QObject::connect(socket, &QLocalSocket::disconnected, socket, [this, socket] {
      Receive(socket);
      socket->deleteLater();
    });
  }
}

void TSingleInstance::Receive(QLocalSocket* socket) {
  const std::optional<QStringList> sources = Decode(socket->readAll());
  if (!sources) {
    qCWarning(lcInstance) << "ignored a malformed hand-off";
    return;
  }
  qCInfo(lcInstance) << "received from a later start:" << sources->size() << "sources";
  for (const QString& source : *sources)
    qCInfo(lcInstance).noquote() << "received source:" << source;
  if (OnSources) OnSources(*sources);
}

QString SourceFromArgument(const QString& argument) {
  const QUrl url(argument);
  const QString scheme = url.scheme().toLower();
  if (scheme == QLatin1String("http") || scheme == QLatin1String("https")) return argument;
  if (scheme == QLatin1String("file") && url.isLocalFile()) return url.toLocalFile();
  return QDir::cleanPath(QFileInfo(argument).absoluteFilePath());
}

QString InstanceFolder(const QString& runtime_dir, const QString& temp_dir) {
  const QString folder = !runtime_dir.isEmpty() && QDir::isAbsolutePath(runtime_dir)
                             ? runtime_dir + QStringLiteral("/qelvu")
                             : temp_dir + QStringLiteral("/qelvu-") + QString::number(::geteuid());
  if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) return {};
  return IsPrivateFolder(folder) ? folder : QString();
}

}  // namespace qelvu
