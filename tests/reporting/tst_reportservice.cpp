// Sending a report: the request on the wire, and failures leaving the dialog open.
#include "reporting/ExceptionDialog.h"
#include "reporting/ProblemReport.h"
#include "reporting/ReportServiceClient.h"
#include "widgets/ErrorHandling.h"
#include "widgets/MessageBoxes.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QXmlStreamReader>

namespace {

// A small HTTP server on 127.0.0.1 that serves the service description at
// /wsdl and answers the POST to /soap with a given response.
class FakeReportService : public QObject {
public:
    struct Request {
        QByteArray method, path, body;
        QMap<QByteArray, QByteArray> headers; // names lower-case
    };

    FakeReportService() {
        server.listen(QHostAddress::LocalHost);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server.nextPendingConnection()) {
                s->setParent(this);
                connect(s, &QTcpSocket::readyRead, this, [this, s] { serve(s); });
            }
        });
    }
    QUrl url(const QString& path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server.serverPort()).arg(path));
    }

    int postStatus = 200;
    QByteArray postAnswer = QByteArrayLiteral(
        "<?xml version=\"1.0\"?><SOAP-ENV:Envelope "
        "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"><SOAP-ENV:Body>"
        "<NS1:ReportErrorResponse xmlns:NS1=\"urn:uErrorReporterIntf-IErrorReporter\">"
        "<return>17</return></NS1:ReportErrorResponse></SOAP-ENV:Body></SOAP-ENV:Envelope>");
    QList<Request> requests;

private:
    void serve(QTcpSocket* s) {
        QByteArray& buf = pending[s];
        buf += s->readAll();
        const qsizetype headerEnd = buf.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        Request r;
        const QList<QByteArray> lines = buf.left(headerEnd).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        r.method = first.value(0);
        r.path = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                r.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                 lines[i].mid(colon + 1).trimmed());
        }
        const int length = r.headers.value("content-length").toInt();
        if (buf.size() < headerEnd + 4 + length)
            return;
        r.body = buf.mid(headerEnd + 4, length);
        pending.remove(s);
        requests << r;
        int status = 200;
        QByteArray answer;
        if (r.method == "GET" && r.path == "/wsdl") {
            answer =
                "<?xml version=\"1.0\"?><definitions xmlns=\"http://schemas.xmlsoap.org/wsdl/\" "
                "xmlns:soap=\"http://schemas.xmlsoap.org/wsdl/soap/\">"
                "<service name=\"OtherService\"><port name=\"IErrorReporterPort\">"
                "<soap:address location=\"http://127.0.0.1:1/wrong\"/></port></service>"
                "<service name=\"IErrorReporterservice\"><port name=\"IErrorReporterPort\">"
                "<soap:address location=\"" +
                url(QStringLiteral("/soap")).toEncoded() + "\"/></port></service></definitions>";
        } else if (r.method == "POST" && r.path == "/soap") {
            status = postStatus;
            answer = postAnswer;
        } else {
            status = 404;
        }
        s->write("HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Error") +
                 "\r\nContent-Type: text/xml\r\nConnection: close\r\nContent-Length: " +
                 QByteArray::number(answer.size()) + "\r\n\r\n" + answer);
        s->disconnectFromHost();
    }

    QTcpServer server;
    QMap<QTcpSocket*, QByteArray> pending;
};

struct Parameter {
    QString name, type, value;
};

// The parameters of ReportError in the body of a request envelope.
QList<Parameter> parametersOf(const QByteArray& envelope, QString* operationNs) {
    QXmlStreamReader xml(envelope);
    QList<Parameter> params;
    int depth = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            ++depth;
            if (depth == 3 && xml.name() == QLatin1String("ReportError")) {
                *operationNs = xml.namespaceUri().toString();
            } else if (depth == 4) {
                Parameter p;
                p.name = xml.name().toString();
                p.type = xml.attributes()
                             .value(QStringLiteral("http://www.w3.org/2001/XMLSchema-instance"),
                                    QStringLiteral("type"))
                             .toString();
                p.value = xml.readElementText();
                --depth;
                params << p;
            }
        } else if (xml.isEndElement()) {
            --depth;
        }
    }
    return xml.hasError() ? QList<Parameter>{} : params;
}

} // namespace

class TestReportService : public QObject {
    Q_OBJECT
private slots:
    void init() { Msg::takeShown(); }

    void requestOnTheWire_data() {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("sentMessage");
        QTest::newRow("empty") << QString() << QString() << QString();
        QTest::newRow("two lines") << QStringLiteral("Saving a task\nthen it broke <again>")
                                   << QStringLiteral("ann@example.org")
                                   << QStringLiteral("Saving a task\r\nthen it broke <again>");
    }
    void requestOnTheWire() {
        QFETCH(QString, description);
        QFETCH(QString, email);
        QFETCH(QString, sentMessage);
        FakeReportService service;
        ErrorReporterService::setDefaultWsdlLocation(service.url(QStringLiteral("/wsdl")));
        TExceptionDialog dlg;
        dlg.ReportLines = QStringList{"Disk full.", "Exception class: PelloranError", ""};
        dlg.memProblem->setPlainText(description);
        dlg.txtEmail->setText(email);
        dlg.show();
        dlg.btnSendClick();
        QVERIFY(!dlg.isVisible());

        QCOMPARE(service.requests.size(), 2);
        QCOMPARE(service.requests[0].method, QByteArray("GET"));
        const auto& post = service.requests[1];
        QCOMPARE(post.method, QByteArray("POST"));
        QCOMPARE(post.path, QByteArray("/soap"));
        QCOMPARE(post.headers.value("soapaction"),
                 QByteArray("\"urn:uErrorReporterIntf-IErrorReporter#ReportError\""));
        QCOMPARE(post.headers.value("content-type"), QByteArray("text/xml"));
        QVERIFY(post.body.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
        QVERIFY(post.body.contains("encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\""));

        QString ns;
        const QList<Parameter> params = parametersOf(post.body, &ns);
        QCOMPARE(ns, QStringLiteral("urn:uErrorReporterIntf-IErrorReporter"));
        QCOMPARE(params.size(), 6);
        const QStringList names{"ProductID", "Version",     "Company",
                                "Email",     "UserMessage", "Report"};
        const QString report =
            QStringLiteral("Disk full.\r\nException class: PelloranError\r\n\r\n");
        const QStringList values{"1003", "2.0", "", email, sentMessage, report};
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(params[i].name, names[i]);
            QCOMPARE(params[i].type,
                     i == 0 ? QStringLiteral("xsd:int") : QStringLiteral("xsd:string"));
            QCOMPARE(params[i].value, values[i]);
        }
    }

    void failuresLeaveTheDialogOpen_data() {
        QTest::addColumn<bool>("reachable");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("shown");
        QTest::newRow("SOAP fault")
            << true << 500
            << QByteArray(
                   "<?xml version=\"1.0\"?><SOAP-ENV:Envelope "
                   "xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"><SOAP-ENV:Body>"
                   "<SOAP-ENV:Fault><faultcode>SOAP-ENV:Server</faultcode>"
                   "<faultstring>Report store is full</faultstring></SOAP-ENV:Fault>"
                   "</SOAP-ENV:Body></SOAP-ENV:Envelope>")
            << QStringLiteral("Report store is full.");
        QTest::newRow("HTTP error")
            << true << 503 << QByteArray() << QStringLiteral("HTTP error 503");
        QTest::newRow("unreachable") << false << 0 << QByteArray() << QStringLiteral("refused");
    }
    void failuresLeaveTheDialogOpen() {
        QFETCH(bool, reachable);
        QFETCH(int, status);
        QFETCH(QByteArray, answer);
        QFETCH(QString, shown);
        FakeReportService service;
        service.postStatus = status;
        service.postAnswer = answer;
        QUrl location = service.url(QStringLiteral("/wsdl"));
        if (!reachable) {
            // A port on 127.0.0.1 that nobody listens on any more.
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            location.setPort(closed.serverPort());
        }
        ErrorReporterService::setDefaultWsdlLocation(location);
        ErrorHandling::setUnexpectedHandler(&ExceptionHandler);

        bool checked = false;
        QTimer::singleShot(0, this, [&] {
            auto* dlg = qobject_cast<TExceptionDialog*>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            dlg->memProblem->setPlainText(QStringLiteral("kept"));
            Msg::pushAnswer(Msg::Answer::Ok);
            dlg->btnSend->click();
            const auto boxes = Msg::takeShown();
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes[0].kind, Msg::Kind::PlainError);
            QVERIFY2(boxes[0].text.contains(shown, Qt::CaseInsensitive), qPrintable(boxes[0].text));
            QVERIFY(dlg->isVisible());
            QCOMPARE(dlg->memProblem->toPlainText(), QStringLiteral("kept"));
            QVERIFY(QGuiApplication::overrideCursor() == nullptr ||
                    QGuiApplication::overrideCursor()->shape() != Qt::WaitCursor);
            checked = true;
            dlg->btnDontSend->click();
        });
        try {
            throw std::runtime_error("first");
        } catch (...) {
            ErrorHandling::handleUnexpected(std::current_exception());
        }
        ErrorHandling::setUnexpectedHandler({});
        QVERIFY(checked);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void endpointComesFromTheNamedServiceAndPort() {
        const QByteArray wsdl =
            "<definitions><service name=\"IErrorReporterservice\">"
            "<port name=\"Other\"><address location=\"http://a/x\"/></port>"
            "<port name=\"IErrorReporterPort\"><address location=\"/soap/here\"/></port>"
            "</service></definitions>";
        QCOMPARE(ErrorReporterService::endpointFromWsdl(
                     wsdl, QUrl(QStringLiteral("https://reports.pelloran.example/wsdl")),
                     ErrorReporterService::kServiceName, ErrorReporterService::kPortName),
                 QUrl(QStringLiteral("https://reports.pelloran.example/soap/here")));
        QVERIFY_THROWS_EXCEPTION(ReportServiceError,
                                 ErrorReporterService::endpointFromWsdl(
                                     "<definitions/>", QUrl(), ErrorReporterService::kServiceName,
                                     ErrorReporterService::kPortName));
    }
};

QTEST_MAIN(TestReportService)
#include "tst_reportservice.moc"
