#pragma once

// What the main-window tests share: an audio layer whose devices open or fail as a test
// says, and one run of the program over an in-memory settings store with help pages in a
// temporary folder.

#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <memory>

#include "UiTestSupport.h"
#include "settings/MemorySettingsBackend.h"
#include "ui/shell/AudioSystem.h"
#include "ui/shell/QuillmereApp.h"

namespace qm::test {

class FakeAudio : public AudioSystem {
public:
    std::uint32_t version = 0x02040011;
    bool defaultOpens = true;
    bool soundCard = true;
    bool silentOpens = true;
    std::vector<int> devicesTried;
    int verifyLength = 0;
    bool freed = false;

    std::uint32_t Version() override { return version; }
    bool Init(int device, int) override {
        devicesTried.push_back(device);
        m_open = device == -1 ? defaultOpens : silentOpens;
        return m_open;
    }
    bool HasSoundCard() override { return m_open && soundCard && devicesTried.back() == -1; }
    void SetVerifyLength(int byteCount) override { verifyLength = byteCount; }
    void Free() override { freed = true; }

private:
    bool m_open = false;
};

// Settings, audio, the desktop and help pages that outlive the runs of the program a test makes.
struct Machine {
    Machine() {
        QFile index(helpFolder.filePath(QStringLiteral("index.html")));
        index.open(QIODevice::WriteOnly);
        index.write("<html><body><h1>Contents</h1></body></html>");
    }

    AppEnvironment Environment() {
        return {&settings, &audio, QUrl::fromLocalFile(helpFolder.filePath(QStringLiteral("index.html"))), "",
                &desktop};
    }
    void RemoveHelp() { QFile::remove(helpFolder.filePath(QStringLiteral("index.html"))); }

    MemorySettingsBackend settings;
    FakeAudio audio;
    RecordedDesktop desktop;
    QTemporaryDir helpFolder;
};

}  // namespace qm::test
