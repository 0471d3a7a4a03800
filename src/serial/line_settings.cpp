#include "line_settings.h"

#include <QStringList>

namespace {

std::optional<qint32> ParseSpeed(const QString& field) {
    if (field.isEmpty())
        return std::nullopt;
    for (QChar c : field) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const int value = field.toInt(&ok);
    if (!ok || value <= 0)
        return std::nullopt;
    return value;
}

std::optional<QSerialPort::Parity> ParseParity(const QString& field) {
    if (field.size() != 1)
        return std::nullopt;
    switch (field.at(0).toLower().toLatin1()) {
    case 'n':
        return QSerialPort::NoParity;
    case 'e':
        return QSerialPort::EvenParity;
    case 'o':
        return QSerialPort::OddParity;
    case 'm':
        return QSerialPort::MarkParity;
    case 's':
        return QSerialPort::SpaceParity;
    default:
        return std::nullopt;
    }
}

std::optional<QSerialPort::DataBits> ParseDataBits(const QString& field) {
    if (field == QLatin1String("5"))
        return QSerialPort::Data5;
    if (field == QLatin1String("6"))
        return QSerialPort::Data6;
    if (field == QLatin1String("7"))
        return QSerialPort::Data7;
    if (field == QLatin1String("8"))
        return QSerialPort::Data8;
    return std::nullopt;
}

std::optional<QSerialPort::StopBits> ParseStopBits(const QString& field) {
    if (field == QLatin1String("1"))
        return QSerialPort::OneStop;
    if (field == QLatin1String("1.5"))
        return QSerialPort::OneAndHalfStop;
    if (field == QLatin1String("2"))
        return QSerialPort::TwoStop;
    return std::nullopt;
}

LineSettingsParse Refuse(QString reason) {
    return {std::nullopt, std::move(reason)};
}

} // namespace

LineSettingsParse ParseLineSettings(const QString& text) {
    QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4) {
        return Refuse(QStringLiteral("Line settings \"%1\" need four parts: speed, parity, data "
                                     "bits, stop bits (as in \"115200,n,8,1\")")
                          .arg(text));
    }
    for (QString& field : fields)
        field = field.trimmed();

    const auto speed = ParseSpeed(fields[0]);
    if (!speed) {
        return Refuse(
            QStringLiteral("Speed \"%1\" is not a positive whole number of bits per second")
                .arg(fields[0]));
    }
    const auto parity = ParseParity(fields[1]);
    if (!parity) {
        return Refuse(QStringLiteral("Parity \"%1\" is not one of n, e, o, m, s").arg(fields[1]));
    }
    const auto dataBits = ParseDataBits(fields[2]);
    if (!dataBits)
        return Refuse(QStringLiteral("Data bits \"%1\" are not 5, 6, 7 or 8").arg(fields[2]));
    const auto stopBits = ParseStopBits(fields[3]);
    if (!stopBits)
        return Refuse(QStringLiteral("Stop bits \"%1\" are not 1, 1.5 or 2").arg(fields[3]));

    return {LineSettings{*speed, *parity, *dataBits, *stopBits}, QString()};
}
