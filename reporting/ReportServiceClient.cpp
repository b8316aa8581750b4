#include "reporting/ReportServiceClient.h"

#include "data/ProgramIni.h"
#include "widgets/WaitCursor.h"

#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace ErrorReporterService {
namespace {

const QString kEnvelopeNs = QStringLiteral("http://schemas.xmlsoap.org/soap/envelope/");
const QString kEncodingNs = QStringLiteral("http://schemas.xmlsoap.org/soap/encoding/");
const QString kXsdNs = QStringLiteral("http://www.w3.org/2001/XMLSchema");
const QString kXsiNs = QStringLiteral("http://www.w3.org/2001/XMLSchema-instance");

bool isHttps(const QUrl& url) {
    return url.isValid() && url.scheme() == QLatin1String("https") && !url.host().isEmpty();
}

QString secondsText(int ms) {
    return QString::number((ms + 999) / 1000);
}

// Writes text so that every character, CR included, reaches the reader as is:
// a reader turns a literal CR into LF, a character reference it keeps.
void writeExactText(QXmlStreamWriter& xml, const QString& text) {
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != u'\r')
            continue;
        if (i > from)
            xml.writeCharacters(text.mid(from, i - from));
        xml.writeEntityReference(QStringLiteral("#13"));
        from = i + 1;
    }
    if (from < text.size())
        xml.writeCharacters(text.mid(from));
}

void writeParameter(QXmlStreamWriter& xml, const QString& name, const QString& type,
                    const QString& value) {
    xml.writeStartElement(name);
    xml.writeAttribute(kXsiNs, QStringLiteral("type"), type);
    writeExactText(xml, value);
    xml.writeEndElement();
}

} // namespace

QUrl builtInWsdlLocation() {
    // Our maker's report host; the path is the one the service publishes.
    return QUrl(
        QStringLiteral("https://reports.pelloran.example/Scripts/uSOAP.dll/wsdl/IErrorReporter"));
}

QUrl configuredWsdlLocation(const QString& programFolder) {
    QString text = qEnvironmentVariable(kEnvironmentVariable).trimmed();
    if (text.isEmpty())
        text = ProgramIni::inFolder(programFolder)
                   .value(QString::fromLatin1(kIniKey))
                   .value_or(QString());
    // A value that is no https address is kept: sending then says so.
    return text.isEmpty() ? builtInWsdlLocation() : QUrl(text, QUrl::StrictMode);
}

QByteArray buildReportErrorEnvelope(int productID, const QString& version, const QString& company,
                                    const QString& email, const QString& userMessage,
                                    const QString& report) {
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.writeStartDocument();
    xml.writeNamespace(kEnvelopeNs, QStringLiteral("SOAP-ENV"));
    xml.writeNamespace(kXsdNs, QStringLiteral("xsd"));
    xml.writeNamespace(kXsiNs, QStringLiteral("xsi"));
    xml.writeNamespace(kEncodingNs, QStringLiteral("SOAP-ENC"));
    xml.writeStartElement(kEnvelopeNs, QStringLiteral("Envelope"));
    xml.writeStartElement(kEnvelopeNs, QStringLiteral("Body"));
    xml.writeAttribute(kEnvelopeNs, QStringLiteral("encodingStyle"), kEncodingNs);
    xml.writeNamespace(kNamespace, QStringLiteral("NS1"));
    xml.writeStartElement(kNamespace, QStringLiteral("ReportError"));
    // RPC style: the parameters are unqualified, in the operation's order.
    writeParameter(xml, QStringLiteral("ProductID"), QStringLiteral("xsd:int"),
                   QString::number(productID));
    writeParameter(xml, QStringLiteral("Version"), QStringLiteral("xsd:string"), version);
    writeParameter(xml, QStringLiteral("Company"), QStringLiteral("xsd:string"), company);
    writeParameter(xml, QStringLiteral("Email"), QStringLiteral("xsd:string"), email);
    writeParameter(xml, QStringLiteral("UserMessage"), QStringLiteral("xsd:string"), userMessage);
    writeParameter(xml, QStringLiteral("Report"), QStringLiteral("xsd:string"), report);
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

QUrl endpointFromWsdl(const QByteArray& wsdl, const QUrl& location, const QString& service,
                      const QString& port) {
    QXmlStreamReader xml(wsdl);
    bool inService = false;
    bool inPort = false;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const auto name = xml.name();
            const auto attrs = xml.attributes();
            if (name == QLatin1String("service"))
                inService = attrs.value(QLatin1String("name")) == service;
            else if (inService && name == QLatin1String("port"))
                inPort = attrs.value(QLatin1String("name")) == port;
            else if (inService && inPort && name == QLatin1String("address")) {
                const QUrl endpoint =
                    location.resolved(QUrl(attrs.value(QLatin1String("location")).toString()));
                if (!isHttps(endpoint))
                    throw ReportServiceError(
                        QStringLiteral("The problem report service names an address that is not "
                                       "an https address (%1); nothing was sent")
                            .arg(endpoint.toDisplayString()));
                return endpoint;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            if (xml.name() == QLatin1String("service"))
                inService = false;
            else if (xml.name() == QLatin1String("port"))
                inPort = false;
        }
    }
    if (xml.hasError())
        throw ReportServiceError(
            QStringLiteral("The service description could not be read: %1").arg(xml.errorString()));
    throw ReportServiceError(
        QStringLiteral("The service description has no port %1 of service %2").arg(port, service));
}

int parseReportErrorResponse(const QByteArray& response) {
    QXmlStreamReader xml(response);
    int depth = 0;
    int bodyDepth = -1;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (xml.name() == QLatin1String("Body") && xml.namespaceUri() == kEnvelopeNs) {
                bodyDepth = depth;
            } else if (xml.name() == QLatin1String("Fault") && xml.namespaceUri() == kEnvelopeNs) {
                QString faultString;
                QString faultCode;
                while (!xml.atEnd()) {
                    const auto t = xml.readNext();
                    if (t == QXmlStreamReader::EndElement && xml.name() == QLatin1String("Fault"))
                        break;
                    if (t != QXmlStreamReader::StartElement)
                        continue;
                    if (xml.name() == QLatin1String("faultstring"))
                        faultString = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                    else if (xml.name() == QLatin1String("faultcode"))
                        faultCode = xml.readElementText(QXmlStreamReader::IncludeChildElements);
                }
                throw ReportServiceError(faultString.isEmpty() ? faultCode : faultString);
            } else if (bodyDepth > 0 && depth == bodyDepth + 2) {
                // The response element's first child holds the result.
                bool ok = false;
                const int result = xml.readElementText().trimmed().toInt(&ok);
                if (!ok)
                    throw ReportServiceError(QStringLiteral(
                        "The problem report service gave an answer that is not a number"));
                return result;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    throw ReportServiceError(
        xml.hasError()
            ? QStringLiteral("The answer of the problem report service could not be read: %1")
                  .arg(xml.errorString())
            : QStringLiteral("The problem report service gave no result"));
}

} // namespace ErrorReporterService

ReportServiceClient::ReportServiceClient(QObject* parent)
    : QObject(parent)
    , WSDLLocation(ErrorReporterService::configuredWsdlLocation())
    , network_(new QNetworkAccessManager(this)) {}

ReportServiceClient::~ReportServiceClient() = default;

QByteArray ReportServiceClient::transfer(QNetworkRequest request, const QByteArray* postBody,
                                         const QDeadlineTimer& deadline) {
    const auto timeOut = [this] {
        return ReportServiceError(
            QStringLiteral("The problem report service did not answer within %1 seconds")
                .arg(ErrorReporterService::secondsText(TimeoutMs)));
    };
    if (deadline.hasExpired())
        throw timeOut();
    request.setHeader(QNetworkRequest::UserAgentHeader, ErrorReporterService::kUserAgent);
    // Certificate errors are not ignored: a report is sent to the real host or not at all.
    QNetworkReply* reply = postBody ? network_->post(request, *postBody) : network_->get(request);
    std::unique_ptr<QNetworkReply> owner(reply);
    // The answer is taken as it arrives, so no more than the cap is ever held.
    reply->setReadBufferSize(64 * 1024);

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool timedOut = false;
    bool tooLarge = false;
    QByteArray body;
    const auto take = [&] {
        if (tooLarge)
            return;
        body += reply->read(ErrorReporterService::kMaxAnswerBytes + 1 - body.size());
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if (body.size() > ErrorReporterService::kMaxAnswerBytes ||
            (announced.isValid() &&
             announced.toLongLong() > ErrorReporterService::kMaxAnswerBytes)) {
            tooLarge = true;
            reply->abort();
        }
    };
    connect(reply, &QNetworkReply::metaDataChanged, &loop, take);
    connect(reply, &QNetworkReply::readyRead, &loop, take);
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    connect(&timer, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    if (!reply->isFinished()) {
        timer.start(int(std::max<qint64>(deadline.remainingTime(), 1)));
        // Paint events still run, so the window is not frozen; input waits.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (timedOut)
        throw timeOut();
    take();
    if (tooLarge)
        throw ReportServiceError(
            QStringLiteral("The problem report service sent more than %1 MiB; it was not read")
                .arg(ErrorReporterService::kMaxAnswerBytes / (1024 * 1024)));
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A SOAP fault comes with status 500 and the fault in the body.
    if (postBody && status == 500 && body.contains("Fault"))
        ErrorReporterService::parseReportErrorResponse(body);
    if (status >= 400)
        throw ReportServiceError(
            QStringLiteral("The problem report service answered with HTTP error %1 %2")
                .arg(status)
                .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString()));
    if (reply->error() != QNetworkReply::NoError)
        throw ReportServiceError(reply->errorString());
    return body;
}

int ReportServiceClient::ReportError(int ProductID, const QString& Version, const QString& Company,
                                     const QString& Email, const QString& UserMessage,
                                     const QString& Report) {
    if (!ErrorReporterService::isHttps(WSDLLocation))
        throw ReportServiceError(
            QStringLiteral("The address of the problem report service is not an https address "
                           "(%1); nothing was sent")
                .arg(WSDLLocation.toDisplayString()));
    const WaitCursor wait;
    const QDeadlineTimer deadline(TimeoutMs);

    const QByteArray wsdl = transfer(QNetworkRequest(WSDLLocation), nullptr, deadline);
    const QUrl endpoint = ErrorReporterService::endpointFromWsdl(wsdl, WSDLLocation, Service, Port);

    QNetworkRequest request(endpoint);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("text/xml"));
    request.setRawHeader("SOAPAction", '"' + ErrorReporterService::kSoapAction.toUtf8() + '"');
    const QByteArray envelope = ErrorReporterService::buildReportErrorEnvelope(
        ProductID, Version, Company, Email, UserMessage, Report);
    return ErrorReporterService::parseReportErrorResponse(transfer(request, &envelope, deadline));
}
