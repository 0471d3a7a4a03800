#pragma once
// The line settings text of the serial connection, "speed,parity,data,stop"
// as in "115200,n,8,1", and its parsed form.

#include <QSerialPort>
#include <QString>
#include <optional>

struct LineSettings {
    qint32 speed = 115200;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

struct LineSettingsParse {
    std::optional<LineSettings> settings;
    QString reason; // why the text was refused; empty when settings is set
};

// Speed: a positive whole number of bits per second. Parity: n, e, o, m or s
// (none, even, odd, mark, space; either case). Data bits: 5 to 8. Stop bits:
// 1, 1.5 or 2. Blanks around each field are allowed; exactly four fields.
LineSettingsParse ParseLineSettings(const QString& text);

// The settings the connection starts with: 115200 bits per second, 8N1.
inline constexpr const char* DesignTimeSettings = "115200,n,8,1";
