#include "port_settings_text.h"

#include "number_text.h"
#include "port_name.h"

PortSettingsAcceptance AcceptPortSettings(const QString& portText, const QString& speedText) {
    const PortNameResolution port = ResolvePortName(portText);
    if (!port.ok())
        return {QString(), 0, port.reason};

    const QByteArray utf8 = speedText.toUtf8();
    const Conversion<std::int32_t> speed =
        ToInt32(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
                OperatorDecimalSeparator());
    if (!speed.ok()) {
        return {QString(), 0,
                QStringLiteral("Baudrate \"%1\" is not a whole number of bits per second (%2)")
                    .arg(speedText.trimmed(), QString::fromStdString(speed.error->reason))};
    }
    if (speed.value <= 0) {
        return {
            QString(), 0,
            QStringLiteral("Baudrate %1 is not a speed: it must be more than 0").arg(speed.value)};
    }
    return {port.acceptedText, speed.value, QString()};
}

QString AcceptedPortText(const QString& port, qint32 speed) {
    return QStringLiteral("Com ") + port + QLatin1Char(' ') + QString::number(speed) +
           QStringLiteral(",8,n,1");
}
