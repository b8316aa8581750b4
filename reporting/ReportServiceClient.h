#pragma once
// Client of the maker's problem report service: one remote operation,
// IErrorReporter.ReportError, called with SOAP 1.1 (RPC style, section 5
// encoding) over HTTP(S).
#include "data/Errors.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkRequest;

// Any failure of sending a report: network, HTTP status, SOAP fault, bad answer.
class ReportServiceError : public PelloranError {
public:
    using PelloranError::PelloranError;
};

namespace ErrorReporterService {
inline const QString kNamespace = QStringLiteral("urn:uErrorReporterIntf-IErrorReporter");
inline const QString kSoapAction =
    QStringLiteral("urn:uErrorReporterIntf-IErrorReporter#ReportError");
inline const QString kServiceName = QStringLiteral("IErrorReporterservice");
inline const QString kPortName = QStringLiteral("IErrorReporterPort");
inline const QByteArray kUserAgent = QByteArrayLiteral("Pelloran SOAP client/2.0");
// One budget for the whole send: the description and the call.
inline constexpr int kTimeoutMs = 30000;
// The most read from the service in one answer.
inline constexpr qint64 kMaxAnswerBytes = 1024 * 1024;

// The setting that names the service description: the environment variable
// wins over the key in pelloran.ini beside the program.
inline constexpr const char* kEnvironmentVariable = "PELLORAN_REPORT_SERVICE";
inline constexpr const char* kIniKey = "report-service";

// Our own service's description, used when nothing else is set.
QUrl builtInWsdlLocation();
// The description's address as set for this copy of the program (see above);
// `programFolder` empty means the folder of the running program.
QUrl configuredWsdlLocation(const QString& programFolder = QString());

// The request envelope, UTF-8. Line breaks in the values are kept as written
// (CR characters are written as character references so they survive).
QByteArray buildReportErrorEnvelope(int productID, const QString& version, const QString& company,
                                    const QString& email, const QString& userMessage,
                                    const QString& report);
// The endpoint of the given service and port in a service description,
// resolved against the description's own address; anything but an https
// address is refused.
QUrl endpointFromWsdl(const QByteArray& wsdl, const QUrl& wsdlLocation, const QString& service,
                      const QString& port);
// The integer result of a response envelope; a SOAP fault raises its message.
int parseReportErrorResponse(const QByteArray& response);
} // namespace ErrorReporterService

class IErrorReporter {
public:
    virtual ~IErrorReporter() = default;
    virtual int ReportError(int ProductID, const QString& Version, const QString& Company,
                            const QString& Email, const QString& UserMessage,
                            const QString& Report) = 0;
};

// The remote interface object of one problem report dialog. Each call fetches
// the service description first, finds the endpoint, and posts the request;
// the caller waits (wait cursor, user input held back) up to the time-out,
// which the two transfers share. Only https is spoken, and certificates are
// checked.
class ReportServiceClient : public QObject, public IErrorReporter {
    Q_OBJECT
public:
    explicit ReportServiceClient(QObject* parent = nullptr);
    ~ReportServiceClient() override;

    QUrl WSDLLocation;
    QString Service = ErrorReporterService::kServiceName;
    QString Port = ErrorReporterService::kPortName;
    int TimeoutMs = ErrorReporterService::kTimeoutMs;

    int ReportError(int ProductID, const QString& Version, const QString& Company,
                    const QString& Email, const QString& UserMessage,
                    const QString& Report) override;

private:
    QByteArray transfer(QNetworkRequest request, const QByteArray* postBody,
                        const QDeadlineTimer& deadline);
    QNetworkAccessManager* network_;
};
