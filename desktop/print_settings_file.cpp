#include "print_settings_file.h"

#include "app_state.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

#include <optional>
#include <stdexcept>

namespace Korvex_M01 {
namespace {

// One 4096-byte record: int16 dimension count (1), int32 element count, int32
// lower bound (0), the bytes, zero padding; little-endian throughout.
constexpr int kRecordLength = 4096;
constexpr int kHeaderLength = 2 + 4 + 4;
constexpr int kMaxBlock = kRecordLength - kHeaderLength;

// The block of a record, or nothing when the record cannot be one of ours (too
// short, wrong dimension count, a length that runs past the file).
std::optional<QByteArray> blockOfRecord(const QByteArray& record) {
    if (record.size() < kHeaderLength)
        return std::nullopt;
    const auto* p = reinterpret_cast<const uchar*>(record.constData());
    const qint16 dims = qFromLittleEndian<qint16>(p);
    const qint32 count = qFromLittleEndian<qint32>(p + 2);
    if (dims != 1 || count < 0 || count > kMaxBlock || kHeaderLength + count > record.size())
        return std::nullopt;
    return record.mid(kHeaderLength, count);
}

void saveBlock(const QByteArray& block) {
    if (block.size() > kMaxBlock)
        throw std::runtime_error("printer settings of " + std::to_string(block.size()) +
                                 " bytes do not fit the " + std::to_string(kMaxBlock) +
                                 "-byte record of " + PrnFile.toStdString());
    QByteArray record(kRecordLength, '\0');
    auto* p = reinterpret_cast<uchar*>(record.data());
    qToLittleEndian<qint16>(1, p);
    qToLittleEndian<qint32>(static_cast<qint32>(block.size()), p + 2);
    qToLittleEndian<qint32>(0, p + 6);
    std::copy(block.cbegin(), block.cend(), record.begin() + kHeaderLength);

    QSaveFile out(PrnFile);
    if (!out.open(QIODevice::WriteOnly) || out.write(record) != record.size() || !out.commit())
        throw std::runtime_error("cannot write " + PrnFile.toStdString() + ": " +
                                 out.errorString().toStdString());
}

} // namespace

void PrintSetting(bool load, PrintSettingsHolder& grid) {
    if (load && QFileInfo::exists(PrnFile)) {
        QFile in(PrnFile);
        if (!in.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read " + PrnFile.toStdString() + ": " +
                                     in.errorString().toStdString());
        const auto block = blockOfRecord(in.read(kRecordLength));
        in.close();
        if (block) {
            grid.setPrinterSettings(*block);
            return;
        }
        // A damaged file holds nothing usable: the grid keeps its settings and
        // the file is written afresh from them, as if it had been missing.
        qWarning("Korvex: %s is damaged; it is replaced by the current print settings",
                 qPrintable(PrnFile));
    }
    saveBlock(grid.printerSettings());
}

void ClearPrintSetting(PrintSettingsHolder& grid) {
    grid.setPrinterSettings(QByteArray());
    if (QFileInfo::exists(PrnFile) && !QFile::remove(PrnFile))
        throw std::runtime_error("cannot delete " + PrnFile.toStdString());
}

} // namespace Korvex_M01
