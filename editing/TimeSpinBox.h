#pragma once
// A box for hours: fractional values from 0 up to an upper bound, shown in
// the short general form of the user's locale (4, 2.5, 0.1). A negative entry
// is taken as 0 and a value above the bound as the bound, without a message.
#include <QDoubleSpinBox>

class TimeSpinBox : public QDoubleSpinBox {
public:
    static constexpr double kUpperBound = 100000;

    explicit TimeSpinBox(QWidget* parent = nullptr);

    // Negative values become 0, values above the bound the bound.
    static double txtPriorityPropertiesValidate(double value);

protected:
    QValidator::State validate(QString& text, int& pos) const override;
    double valueFromText(const QString& text) const override;
    QString textFromValue(double value) const override;
    void fixup(QString& input) const override;

private:
    QLocale numberLocale() const;
};
