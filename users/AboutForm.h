#pragma once
// The About box: product name, the program's file version, links to the
// support address and the web site, and the data folder in use.
#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    static const QUrl& supportUrl(); // mailto:support@pelloran.example
    static const QUrl& websiteUrl(); // https://www.pelloran.example/

    explicit TfrmAbout(QWidget* parent = nullptr);
    ~TfrmAbout() override;

    // The product picture at the left.
    static QPixmap productPicture();

    QLabel* imgProduct = nullptr;
    QLabel* labTitle = nullptr;
    QLabel* labTagline = nullptr;
    QLabel* labVersion = nullptr;
    QLabel* labSupportCaption = nullptr;
    QLabel* lnkSupport = nullptr;
    QLabel* labWebCaption = nullptr;
    QLabel* lnkWebsite = nullptr;
    QLabel* labDataCaption = nullptr;
    QLabel* labDataFolder = nullptr; // the folder itself, shortened in the middle when long
    QLabel* labCopyright = nullptr;
    QLabel* labRights = nullptr;
    QPushButton* btnOK = nullptr;

private:
    void FormCreate();
};

// Shows the About box modally and disposes of it.
void ShowAbout(QWidget* parent = nullptr);
