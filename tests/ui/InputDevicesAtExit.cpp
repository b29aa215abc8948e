// The window tests keep one QApplication for the whole program, destroyed only among the
// static objects at exit. Synthesised key and mouse events make Qt register input devices as
// its children, and their registry is a static object made after the application, so gone by
// then. The devices are therefore deleted after the last test, while the registry still exists.
#include <gtest/gtest.h>

#include <QInputDevice>

namespace {

class InputDevicesAtExit : public ::testing::Environment {
public:
    void TearDown() override {
        const QList<const QInputDevice*> devices = QInputDevice::devices();
        for (const QInputDevice* device : devices) delete device;
    }
};

const ::testing::Environment* const kInputDevicesAtExit = ::testing::AddGlobalTestEnvironment(new InputDevicesAtExit);

}  // namespace
