#include "ui/date_conventions.h"

DateConventions& dateConventions()
{
    static DateConventions conventions;
    return conventions;
}

QString dateToStr(const QDate& date)
{
    const DateConventions& c = dateConventions();
    const QString& f = c.shortDateFormat;
    QString out;
    for (qsizetype i = 0; i < f.size();) {
        const QChar ch = f.at(i).toLower();
        qsizetype run = 1;
        while (i + run < f.size() && f.at(i + run).toLower() == ch)
            ++run;
        if (ch == QLatin1Char('y')) {
            out += run >= 3 ? QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'))
                            : QStringLiteral("%1").arg(date.year() % 100, 2, 10, QLatin1Char('0'));
        } else if (ch == QLatin1Char('m')) {
            out += run >= 2 ? QStringLiteral("%1").arg(date.month(), 2, 10, QLatin1Char('0')) : QString::number(date.month());
        } else if (ch == QLatin1Char('d')) {
            out += run >= 2 ? QStringLiteral("%1").arg(date.day(), 2, 10, QLatin1Char('0')) : QString::number(date.day());
        } else if (ch == QLatin1Char('/')) {
            out += QString(c.dateSeparator).repeated(run);
        } else {
            out += f.mid(i, run);
        }
        i += run;
    }
    return out;
}
