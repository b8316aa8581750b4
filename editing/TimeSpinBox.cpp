#include "editing/TimeSpinBox.h"

#include <QLocale>

TimeSpinBox::TimeSpinBox(QWidget* parent)
    : QDoubleSpinBox(parent) {
    // Enough places that typed fractions are kept as typed.
    setDecimals(15);
    setRange(0, kUpperBound);
    setSingleStep(1);
    setAccelerated(true);
}

double TimeSpinBox::txtPriorityPropertiesValidate(double value) {
    if (!(value >= 0)) // NaN as well
        return 0;
    return value > kUpperBound ? kUpperBound : value;
}

QLocale TimeSpinBox::numberLocale() const {
    QLocale loc = locale();
    loc.setNumberOptions(loc.numberOptions() | QLocale::OmitGroupSeparator);
    return loc;
}

QValidator::State TimeSpinBox::validate(QString& text, int& pos) const {
    Q_UNUSED(pos);
    const QLocale loc = numberLocale();
    QString t = text.trimmed();
    // A minus sign is let through so that a negative entry can become 0.
    if (t.startsWith(loc.negativeSign()) || t.startsWith(u'-'))
        t = t.mid(1);
    if (t.isEmpty())
        return QValidator::Intermediate;
    bool ok = false;
    loc.toDouble(t, &ok);
    if (!ok)
        QLocale::c().toDouble(t, &ok);
    if (ok)
        return QValidator::Acceptable;
    // Something on its way to a number: digits with at most one separator,
    // or a number ending in its separator or exponent mark.
    const QString sep = loc.decimalPoint();
    int seps = 0;
    for (const QChar c : t) {
        if (c.isDigit())
            continue;
        if (QString(c) == sep || c == u'.') {
            ++seps;
            continue;
        }
        return QValidator::Invalid;
    }
    return seps <= 1 ? QValidator::Intermediate : QValidator::Invalid;
}

double TimeSpinBox::valueFromText(const QString& text) const {
    const QString t = text.trimmed();
    bool ok = false;
    double v = numberLocale().toDouble(t, &ok);
    if (!ok)
        v = QLocale::c().toDouble(t, &ok);
    return txtPriorityPropertiesValidate(ok ? v : 0);
}

QString TimeSpinBox::textFromValue(double value) const {
    return numberLocale().toString(value, 'g', 15);
}

void TimeSpinBox::fixup(QString& input) const {
    // Whatever could not be read counts as 0.
    input = textFromValue(valueFromText(input));
}
