#include "port_name.h"

#include "number_text.h"

#include <QLocale>
#include <QSerialPortInfo>

#include <algorithm>

namespace {

// Bare names a serial device goes by: the tty and callout nodes of Unix
// systems, Bluetooth serial links, and the COM ports of Windows.
bool IsBareDeviceName(const QString& name) {
    static const char* const prefixes[] = {"tty", "cu.", "rfcomm", "COM"};
    const bool knownPrefix =
        std::any_of(std::begin(prefixes), std::end(prefixes), [&](const char* prefix) {
            return name.startsWith(QLatin1String(prefix), Qt::CaseInsensitive) &&
                   name.size() > static_cast<int>(qstrlen(prefix));
        });
    if (!knownPrefix)
        return false;
    return std::all_of(name.begin(), name.end(), [](QChar c) {
        return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('.') ||
               c == QLatin1Char('-');
    });
}

bool IsDevicePath(const QString& text) {
#ifdef Q_OS_WIN
    if (text.startsWith(QLatin1String("\\\\.\\")))
        return text.size() > 4;
#endif
    if (!text.startsWith(QLatin1Char('/')) || text.size() < 2)
        return false;
    return std::none_of(text.begin(), text.end(),
                        [](QChar c) { return c.category() == QChar::Other_Control; });
}

QString BareNameLocation(const QString& name) {
#ifdef Q_OS_WIN
    return name;
#else
    return QStringLiteral("/dev/") + name;
#endif
}

// /dev/ttyS2 before /dev/ttyS10: names compare by their text without the
// trailing digits, then by the number those digits make.
bool NumberAwareLess(const QString& a, const QString& b) {
    auto split = [](const QString& name) {
        int digitsStart = name.size();
        while (digitsStart > 0 && name.at(digitsStart - 1).isDigit())
            --digitsStart;
        return std::make_pair(name.left(digitsStart), name.mid(digitsStart).toULongLong());
    };
    return split(a) < split(b);
}

} // namespace

char OperatorDecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() < 0x80 && point.at(0) != QLatin1Char(' '))
        return point.at(0).toLatin1();
    return '.';
}

QString NumberedPortLocation(int number) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

PortNameResolution ResolvePortName(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {QString(), QString(),
                QStringLiteral("No port given: enter a port number or a device name")};

    const QByteArray utf8 = text.toUtf8();
    const Conversion<std::int16_t> number =
        ToInt16(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
                OperatorDecimalSeparator());
    if (number.ok()) {
        if (number.value <= 0) {
            return {QString(), QString(),
                    QStringLiteral("Port number %1 is not a port: the first port is 1")
                        .arg(number.value)};
        }
        return {NumberedPortLocation(number.value), QString::number(number.value), QString()};
    }
    if (number.error->problem == ConversionProblem::OutOfRange) {
        return {QString(), QString(),
                QStringLiteral("Port number \"%1\" is out of range: the ports are 1 to 32767")
                    .arg(trimmed)};
    }
    if (IsDevicePath(trimmed))
        return {trimmed, trimmed, QString()};
    if (IsBareDeviceName(trimmed))
        return {BareNameLocation(trimmed), trimmed, QString()};
    return {QString(), QString(),
            QStringLiteral("\"%1\" is neither a port number nor a device name").arg(trimmed)};
}

QStringList AvailablePortNames() {
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& port : ports)
        names << port.systemLocation();
    std::sort(names.begin(), names.end(), NumberAwareLess);
    names.removeDuplicates();
    return names;
}
