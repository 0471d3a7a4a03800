#pragma once
// A small label without text whose background colour is a state: the port
// lamp and the nine status lamps.

#include <QLabel>
#include <cstdint>

class Lamp : public QLabel {
    Q_OBJECT
public:
    explicit Lamp(QWidget* parent = nullptr);

    // Colour value as red + 256 * green + 65536 * blue; nullopt = at rest
    // (the system's button-shadow colour).
    void setColourValue(std::uint32_t value);
    bool hasColour() const { return hasColour_; }
    std::uint32_t colourValue() const { return colourValue_; }
    QColor colour() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool hasColour_ = false;
    std::uint32_t colourValue_ = 0;
};
