#pragma once
// Looks at a serial device from the outside, for the error decisions: is the
// node there, may this user open it, has the line hung up. Where a system
// cannot tell, the answers are the harmless ones (there, allowed, not hung up).

#include <QString>
#include <QtGlobal>

struct DeviceNodeFacts {
    bool exists = true;
    bool accessible = true;
    bool characterDevice = true;
};

DeviceNodeFacts ProbeDeviceNode(const QString& systemLocation);

// True when the open descriptor reports a hang-up or an error condition.
bool DescriptorHungUp(qintptr handle);

// Whether a refused open is worth the dialout group hint on this system.
bool UsesDialoutGroup();
