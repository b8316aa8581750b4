#pragma once
// The splash window shown while the data folder is opened and during the login.
#include <QPixmap>
#include <QWidget>

class QLabel;

class TfrmSplash : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 400;
    static constexpr int kHeight = 212;

    // Has no owner: whoever creates the splash destroys it.
    TfrmSplash();
    ~TfrmSplash() override;

    // The splash picture: name, tagline and the program's file version.
    static QPixmap splashPicture();

    QLabel* Image1 = nullptr;
};

// The splash while one exists; destroying it empties this reference.
extern TfrmSplash* frmSplash;
