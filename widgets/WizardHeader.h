#pragma once
// The banner across the top of the wizards: a white ground with fine grey
// pinstripes and a black bottom line, a right-aligned caption and an optional
// small picture at the left.
#include <QFrame>
#include <QImage>
#include <QPixmap>
#include <QString>

class QLabel;

class TzevWizHeader : public QFrame {
    Q_OBJECT
    Q_PROPERTY(QString WizardCaption READ GetCaption WRITE SetCaption)
    Q_PROPERTY(QPixmap Picture READ GetPicture WRITE SetPicture)
public:
    static constexpr int kDefaultWidth = 443;
    static constexpr int kHeight = 42;

    explicit TzevWizHeader(QWidget* parent = nullptr);
    ~TzevWizHeader() override;

    // The caption as set, without blanks around it.
    QString GetCaption() const;
    // Trims the text and keeps one blank after it, so the right-aligned text
    // does not touch the right edge.
    void SetCaption(const QString& caption);

    QPixmap GetPicture() const;
    // Copies the picture into the icon; does not change whether it is shown.
    void SetPicture(const QPixmap& picture);
    // The icon starts hidden; a window that sets a picture may show it.
    bool isPictureVisible() const;
    void setPictureVisible(bool visible);

    // The 1 x 42 ground pattern, also used by pictures drawn on the same ground.
    static QImage headerPattern();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void CreateSubComponents();
    void InitializeSubComponents();
    void layoutChildren();
    // Keeps the header at the top of its parent, as wide as the parent, unless
    // a layout of the parent places it.
    void followParent();
    void alignToParent();

    QLabel* FHeaderImage = nullptr;
    QLabel* FCaptionLabel = nullptr;
    QLabel* FIconImage = nullptr;
    QWidget* watchedParent_ = nullptr;
};
