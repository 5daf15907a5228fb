#include "messages.h"

#include "ui_seam.h"
#include "work_database.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <stdexcept>

namespace {

// One pass over the text: %n (n = 1 .. the number of arguments) becomes that
// argument, whose own text is never looked at again; anything else stays.
QString withArguments(const QString& text, const QStringList& args) {
    QString out;
    const int n = int(text.size());
    for (int i = 0; i < n; ++i) {
        int end = i + 1;
        int number = 0;
        while (text.at(i) == QLatin1Char('%') && end < n && text.at(end).isDigit() &&
               number * 10 + text.at(end).digitValue() <= args.size())
            number = number * 10 + text.at(end++).digitValue();
        if (number >= 1) {
            out += args.at(number - 1);
            i = end - 1;
        } else {
            out += text.at(i);
        }
    }
    return out;
}

} // namespace

namespace Korvex_M01 {

int ShowMsg(const QString& messageId) {
    return ShowMsg(messageId, QStringList());
}

int ShowMsg(const QString& messageId, const QStringList& args) {
    // The identifier is bound, never pasted into the statement: a quote in it
    // must not change what the statement does.
    QSqlQuery rs = WorkDb().OpenRecordset(
        QStringLiteral("select * from T_Message where messageid = ?;"), {messageId});
    if (!rs.next()) {
        korvex::ui().beep();
        return MsgBoxEx(messageId, korvex::mb::OkCancel, QString(), nullptr);
    }
    QString prompt = rs.value(QStringLiteral("prompt")).toString();
    // A catalogue edited on Windows may carry CR LF; boxes here break lines on LF.
    prompt.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (!args.isEmpty())
        prompt = withArguments(prompt, args);
    const QString text = messageId + QLatin1Char('\n') + prompt;
    const int buttons = rs.value(QStringLiteral("buttons")).toInt();
    const QVariant helpFile = rs.value(QStringLiteral("helpfile"));
    const QVariant context = rs.value(QStringLiteral("context"));
    rs.finish();
    if (helpFile.isNull() || context.isNull())
        return MsgBoxEx(text, buttons, QString(), nullptr);
    const int helpContext = context.toInt();
    return MsgBoxEx(text, buttons, helpFile.toString(), &helpContext);
}

QString MsgText(const QString& messageId, const QStringList& args) {
    try {
        QSqlQuery rs = WorkDb().OpenRecordset(
            QStringLiteral("select prompt from T_Message where messageid = ?;"), {messageId});
        if (!rs.next())
            return messageId;
        QString text = rs.value(0).toString();
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        return withArguments(text, args);
    } catch (const std::exception&) {
        return messageId;
    }
}

int MsgBoxEx(const QString& prompt, int buttons, const QString& helpFile, const int* helpContext) {
    korvex::MessageRequest request;
    request.title = QStringLiteral("Korvex");
    request.text = prompt;
    request.style = buttons;
    if (helpContext) {
        request.helpFile = helpFile;
        request.helpContext = *helpContext;
    }
    return korvex::ui().message(request);
}

} // namespace Korvex_M01

namespace korvex {

QStringList SplitSqlScript(const QString& sqlText) {
    QStringList statements;
    QString current;
    const int n = int(sqlText.size());
    for (int i = 0; i < n; ++i) {
        const QChar c = sqlText.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // Quoted text runs to the matching quote; a doubled quote is part of it.
            current += c;
            for (++i; i < n; ++i) {
                current += sqlText.at(i);
                if (sqlText.at(i) == c) {
                    if (i + 1 < n && sqlText.at(i + 1) == c) {
                        current += sqlText.at(++i);
                        continue;
                    }
                    break;
                }
            }
        } else if (c == QLatin1Char('-') && i + 1 < n && sqlText.at(i + 1) == QLatin1Char('-')) {
            while (i < n && sqlText.at(i) != QLatin1Char('\n'))
                ++i;
            current += QLatin1Char('\n');
        } else if (c == QLatin1Char(';')) {
            if (!current.trimmed().isEmpty())
                statements << current.trimmed();
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    return statements;
}

void SeedCatalogue(QSqlDatabase& db, const QString& sqlText) {
    const QStringList statements = SplitSqlScript(sqlText);
    if (!db.transaction())
        throw std::runtime_error(QStringLiteral("cannot begin a transaction: %1")
                                     .arg(db.lastError().text())
                                     .toStdString());
    for (const QString& statement : statements) {
        QSqlQuery q(db);
        if (!q.exec(statement)) {
            const QString why = q.lastError().text();
            q.finish();
            db.rollback();
            throw std::runtime_error(
                QStringLiteral("%1\n  in: %2").arg(why, statement.left(200)).toStdString());
        }
    }
    if (!db.commit()) {
        const QString why = db.lastError().text();
        db.rollback();
        throw std::runtime_error(QStringLiteral("cannot commit: %1").arg(why).toStdString());
    }
}

} // namespace korvex
