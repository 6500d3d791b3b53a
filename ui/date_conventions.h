#pragma once
// The process's date conventions: every conversion of a date to text goes
// through dateToStr, so the posting statement and anything else that writes a
// date follow the separator and short format set at start-up.

#include <QDate>
#include <QString>

struct DateConventions {
    QChar dateSeparator = QLatin1Char('/');
    // Tokens: yyyy, yy, mm, m, dd, d; "/" stands for the date separator.
    QString shortDateFormat = QStringLiteral("yyyy/mm/dd");
};

DateConventions& dateConventions();
QString dateToStr(const QDate& date);
