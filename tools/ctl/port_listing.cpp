#include "port_listing.h"

#include <port_holder.h>

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <nlohmann/json.hpp>

namespace {

// The links under /dev/serial/by-id that lead to `device`.
QStringList StableNames(const QString& device) {
    QStringList names;
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link :
         byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        if (link.canonicalFilePath() == device) {
            names << link.absoluteFilePath();
        }
    }
    return names;
}

QString UsbId(bool has, quint16 id) {
    return has ? QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0')) : QString();
}

} // namespace

ExitStatus ListPorts(CtlOutput& output) {
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    if (ports.isEmpty() && output.format() == OutputFormat::Text) {
        output.notice("no serial ports found");
    }
    for (const QSerialPortInfo& port : ports) {
        const QString device = port.systemLocation();
        const QStringList stable = StableNames(QFileInfo(device).canonicalFilePath());
        const QString vendor = UsbId(port.hasVendorIdentifier(), port.vendorIdentifier());
        const QString product = UsbId(port.hasProductIdentifier(), port.productIdentifier());
        const std::optional<PortHolder> holder = FindPortHolder(device);
        if (output.format() == OutputFormat::Json) {
            nlohmann::json object{{"type", "port"},
                                  {"device", device.toStdString()},
                                  {"stable_names", nlohmann::json::array()},
                                  {"description", port.description().toStdString()},
                                  {"manufacturer", port.manufacturer().toStdString()},
                                  {"vendor_id", vendor.toStdString()},
                                  {"product_id", product.toStdString()},
                                  {"held_by", nullptr}};
            for (const QString& name : stable) {
                object["stable_names"].push_back(name.toStdString());
            }
            if (holder) {
                object["held_by"] = {{"program", holder->program.toStdString()},
                                     {"pid", holder->pid}};
            }
            output.line(object.dump());
            continue;
        }
        QString text = device;
        for (const QString& name : stable) {
            text += QStringLiteral("\n  stable name: ") + name;
        }
        if (!port.description().isEmpty()) {
            text += QStringLiteral("\n  description: ") + port.description();
        }
        if (!port.manufacturer().isEmpty()) {
            text += QStringLiteral("\n  manufacturer: ") + port.manufacturer();
        }
        if (!vendor.isEmpty() || !product.isEmpty()) {
            text += QStringLiteral("\n  USB id: ") + vendor + QLatin1Char(':') + product;
        }
        text += QStringLiteral("\n  held by: ") +
                (holder ? PortHolderText(*holder) : QStringLiteral("nobody"));
        output.line(text.toStdString());
    }
    return ExitStatus::Done;
}
