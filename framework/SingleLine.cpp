#include "framework/SingleLine.h"

#include <QLineEdit>

#include <algorithm>

namespace {

bool EndsLine(QChar c) {
    return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0) || c == QChar(QChar::LineSeparator) ||
           c == QChar(QChar::ParagraphSeparator);
}

}  // namespace

QValidator::State TSingleLineValidator::validate(QString& input, int& pos) const {
    // The text before the change held no line break, so the first one is in what was just inserted,
    // which ends at the cursor: from there to the cursor goes, the text after the cursor stays.
    qsizetype cut = -1;
    for (qsizetype i = 0; i < input.size(); ++i) {
        if (EndsLine(input[i])) {
            cut = i;
            break;
        }
    }
    if (cut < 0) return Acceptable;
    const qsizetype insertedEnd = std::max<qsizetype>(pos, cut);
    qsizetype resume = insertedEnd;
    // A break after the cursor (text set from code) ends the text as well.
    for (qsizetype i = insertedEnd; i < input.size(); ++i) {
        if (EndsLine(input[i])) {
            input.truncate(i);
            break;
        }
    }
    input.remove(cut, std::min(resume, input.size()) - cut);
    pos = static_cast<int>(cut);
    return Acceptable;
}

void MakeSingleLine(QLineEdit& edit) { edit.setValidator(new TSingleLineValidator(&edit)); }
