#include "grid_layout.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace korvex::findreplace {

namespace {

const QString kFormat = QStringLiteral("korvex-grid-layouts");
constexpr int kVersion = 1;
// A layout file is a few kilobytes; anything far larger is not one of ours and
// is not read into memory.
constexpr qint64 kMaxFileBytes = 4 * 1024 * 1024;

// The document's layouts when the file is ours, else nothing.
std::optional<QJsonArray> readLayouts(const QString& file) {
    QFile in(file);
    if (!in.exists() || in.size() > kMaxFileBytes || !in.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(in.readAll(), &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("format")).toString() != kFormat ||
        root.value(QStringLiteral("version")).toInt() != kVersion ||
        !root.value(QStringLiteral("layouts")).isArray())
        return std::nullopt;
    return root.value(QStringLiteral("layouts")).toArray();
}

std::optional<QFont> fontOf(const QJsonValue& v) {
    QFont f;
    if (!v.isString() || !f.fromString(v.toString()))
        return std::nullopt;
    return f;
}

QJsonObject toJson(const QString& name, const GridLayout& layout) {
    QJsonArray columns;
    for (const GridColumnLayout& c : layout.columns)
        columns.append(QJsonObject{{QStringLiteral("field"), c.field},
                                   {QStringLiteral("width"), c.widthTwips},
                                   {QStringLiteral("shown"), c.shown}});
    QJsonObject o{{QStringLiteral("name"), name},
                  {QStringLiteral("columns"), columns},
                  {QStringLiteral("merge"), QJsonArray::fromStringList(layout.mergedFields)}};
    if (layout.headingFont)
        o.insert(QStringLiteral("headingFont"), layout.headingFont->toString());
    if (layout.bodyFont)
        o.insert(QStringLiteral("bodyFont"), layout.bodyFont->toString());
    if (layout.textColor && layout.textColor->isValid())
        o.insert(QStringLiteral("textColor"), layout.textColor->name(QColor::HexRgb));
    return o;
}

} // namespace

bool GridLayout::operator==(const GridLayout& o) const {
    if (columns.size() != o.columns.size() || mergedFields != o.mergedFields ||
        headingFont != o.headingFont || bodyFont != o.bodyFont || textColor != o.textColor)
        return false;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const auto& a = columns[i];
        const auto& b = o.columns[i];
        if (a.field != b.field || a.widthTwips != b.widthTwips || a.shown != b.shown)
            return false;
    }
    return true;
}

std::optional<GridLayout> readGridLayout(const QString& file, const QString& name) {
    const auto layouts = readLayouts(file);
    if (!layouts)
        return std::nullopt;
    for (const QJsonValue& v : *layouts) {
        const QJsonObject o = v.toObject();
        if (o.value(QStringLiteral("name")).toString() != name)
            continue;
        GridLayout layout;
        const QJsonArray columns = o.value(QStringLiteral("columns")).toArray();
        for (const QJsonValue& cv : columns) {
            const QJsonObject c = cv.toObject();
            GridColumnLayout col;
            col.field = c.value(QStringLiteral("field")).toString();
            col.widthTwips = qBound(0, c.value(QStringLiteral("width")).toInt(), 1440 * 100);
            col.shown = c.value(QStringLiteral("shown")).toBool(true);
            if (!col.field.isEmpty())
                layout.columns.append(col);
        }
        const QJsonArray merge = o.value(QStringLiteral("merge")).toArray();
        for (const QJsonValue& m : merge)
            if (m.isString())
                layout.mergedFields << m.toString();
        layout.headingFont = fontOf(o.value(QStringLiteral("headingFont")));
        layout.bodyFont = fontOf(o.value(QStringLiteral("bodyFont")));
        // Kept as the opaque 8-bit colour the screen shows and the file stores:
        // a hand-written "transparent" would hide every row, and a 16-bit or
        // translucent colour would not read back as it was written.
        const QColor color(o.value(QStringLiteral("textColor")).toString());
        if (color.isValid())
            layout.textColor = QColor::fromRgb(color.rgb());
        // The first layout of the name is the one, even when it is unusable.
        return layout;
    }
    return std::nullopt;
}

bool writeGridLayout(const QString& file, const QString& name, const GridLayout& layout,
                     QString* error) {
    QJsonArray layouts = readLayouts(file).value_or(QJsonArray());
    bool replaced = false;
    for (qsizetype i = 0; i < layouts.size(); ++i) {
        if (layouts.at(i).toObject().value(QStringLiteral("name")).toString() == name) {
            layouts.replace(i, toJson(name, layout));
            replaced = true;
            break;
        }
    }
    if (!replaced)
        layouts.append(toJson(name, layout));
    const QJsonObject root{{QStringLiteral("format"), kFormat},
                           {QStringLiteral("version"), kVersion},
                           {QStringLiteral("layouts"), layouts}};
    QSaveFile out(file);
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Indented);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        if (error)
            *error = out.errorString();
        return false;
    }
    return true;
}

} // namespace korvex::findreplace
