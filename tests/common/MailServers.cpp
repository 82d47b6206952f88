#include "common/MailServers.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <map>

namespace {

const QString python = QStringLiteral("/usr/bin/python3");

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Runs program in folder; false with error set when it failed.
bool run(const QString& program, const QStringList& arguments, const QString& folder,
         QString& error)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        error = QStringLiteral("%1 %2 failed: %3")
                    .arg(program, arguments.join(QLatin1Char(' ')),
                         QString::fromLocal8Bit(process.readAllStandardError()));
        return false;
    }
    return true;
}

// A certificate authority of this test run alone, and a server certificate
// from it for the names the client asks for, made once per set of names: the
// folder that holds ca.pem, server.pem and server.key, or an empty text with
// error set.
QString certificatesFor(const QStringList& hosts, QString& error)
{
    static std::map<QStringList, std::unique_ptr<QTemporaryDir>> made;
    std::unique_ptr<QTemporaryDir>& dir = made[hosts];
    if (dir)
        return dir->path();
    auto fresh = std::make_unique<QTemporaryDir>();
    if (!fresh->isValid()) {
        error = QStringLiteral("no temporary folder");
        return {};
    }
    QStringList names;
    for (const QString& host : hosts)
        names << QStringLiteral("DNS:") + host;
    QFile extensions(fresh->filePath(QStringLiteral("server.ext")));
    if (!extensions.open(QIODevice::WriteOnly)) {
        error = extensions.errorString();
        return {};
    }
    extensions.write("subjectAltName=" + names.join(QLatin1Char(',')).toUtf8() +
                     "\nbasicConstraints=critical,CA:FALSE\nextendedKeyUsage=serverAuth\n");
    extensions.close();
    // Run in the temporary folder; no argument holds a space.
    const QString ecKey = QStringLiteral("-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes");
    const QStringList steps{
        QStringLiteral("req -x509 %1 -keyout ca.key -out ca.pem -days 2 -subj /CN=Test-CA")
            .arg(ecKey),
        QStringLiteral("req %1 -keyout server.key -out server.csr -subj /CN=%2")
            .arg(ecKey, hosts.value(0)),
        QStringLiteral("x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
                       "-out server.pem -days 2 -extfile server.ext"),
    };
    for (const QString& step : steps)
        if (!run(QStringLiteral("openssl"), step.split(QLatin1Char(' ')), fresh->path(), error))
            return {};
    dir = std::move(fresh);
    return dir->path();
}

} // namespace

MailServers::~MailServers()
{
    if (!m_process)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(5000)) {
        m_process->kill();
        m_process->waitForFinished(2000);
    }
}

QString MailServers::scriptPath(const QString& script)
{
    return QStringLiteral(TAVENRO_MAIL_SERVERS) + QLatin1Char('/') + script;
}

bool MailServers::start(const Options& options)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    m_certificates = certificatesFor(options.hosts, m_error);
    if (m_certificates.isEmpty())
        return false;

    m_process = std::make_unique<QProcess>();
    m_process->setWorkingDirectory(m_dir.path());
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(python,
                     {scriptPath(QStringLiteral("mailservers.py")), QStringLiteral("--dir"),
                      m_dir.path(), QStringLiteral("--cert"),
                      m_certificates + QStringLiteral("/server.pem"), QStringLiteral("--key"),
                      m_certificates + QStringLiteral("/server.key"), QStringLiteral("--user"),
                      options.user, QStringLiteral("--password"), options.password,
                      QStringLiteral("--smtp"), options.smtp, QStringLiteral("--pop"), options.pop,
                      QStringLiteral("--delay"), QString::number(options.delaySeconds)});
    const QString ready = m_dir.filePath(QStringLiteral("ready.json"));
    const QDeadlineTimer deadline(20000);
    while (!QFile::exists(ready)) {
        if (deadline.hasExpired() || m_process->state() == QProcess::NotRunning) {
            m_error =
                QStringLiteral("the mail servers did not start (%1)").arg(m_process->errorString());
            return false;
        }
        QThread::msleep(20);
    }
    const QJsonObject ports = QJsonDocument::fromJson(readFile(ready)).object();
    m_smtpPort = ports.value(QStringLiteral("smtp")).toInt();
    m_popPort = ports.value(QStringLiteral("pop")).toInt();
    if (m_smtpPort <= 0 || m_popPort <= 0) {
        m_error = QStringLiteral("no ports in %1").arg(ready);
        return false;
    }
    return true;
}

QStringList MailServers::events() const
{
    return QString::fromUtf8(readFile(m_dir.filePath(QStringLiteral("events.log"))))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray MailServers::smtpWire() const
{
    return readFile(m_dir.filePath(QStringLiteral("smtp-wire.bin")));
}

int MailServers::mailCount() const
{
    return int(QDir(m_dir.path()).entryList({QStringLiteral("mail-*.eml")}, QDir::Files).size());
}

QString MailServers::mailFile(int number) const
{
    return m_dir.filePath(QStringLiteral("mail-%1.eml").arg(number));
}

QByteArray MailServers::envelope(int number) const
{
    return readFile(m_dir.filePath(QStringLiteral("mail-%1.json").arg(number)));
}

QByteArray MailServers::runScript(const QString& script, const QStringList& arguments)
{
    QProcess process;
    process.start(python, QStringList{scriptPath(script)} + arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        m_error = QStringLiteral("%1 failed: %2")
                      .arg(script, QString::fromLocal8Bit(process.readAllStandardError()));
        return {};
    }
    return process.readAllStandardOutput();
}
