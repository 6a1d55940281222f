#include "image/compare.h"

#include <cstdio>
#include <string>

namespace velora {
namespace {

const std::string kContinue = " )\nContinue checking ?";

std::string num(unsigned v) {
    return std::to_string(v);
}

std::string hex(unsigned v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%x", v);
    return buf;
}

// Hands one difference on; true when the comparison goes on.
class Reporter {
  public:
    explicit Reporter(const std::function<bool(const std::string&)>& sink) : sink_(sink) {}
    bool differs(const std::string& text) { return sink_(text); }

  private:
    const std::function<bool(const std::string&)>& sink_;
};

std::string pair(unsigned left, unsigned right) {
    return "\n ( " + num(left) + " <> " + num(right) + kContinue;
}

bool compareProgrammeTable(Reporter& r, const char* what, const std::uint8_t* image, const std::uint8_t* read,
                           int firstProgramme, int count) {
    for (int i = 0; i < count; ++i) {
        if (image[i] == read[i]) continue;
        if (!r.differs(std::string(what) + " veryfication error : programm " + num(firstProgramme + i + 1) +
                       pair(read[i], image[i])))
            return false;
    }
    return true;
}

bool compareSceneButton(Reporter& r, const char* name, std::uint16_t image, const std::uint8_t* read) {
    const unsigned got = static_cast<unsigned>(read[0] | (read[1] << 8));
    if (got == image) return true;
    return r.differs(std::string(name) + " scene veryfication error " + pair(got + 1, image + 1u));
}

bool compareFirstSettingsBlock(Reporter& r, const ControllerImage& image, const std::uint8_t* d) {
    using O = SettingsBlockOffset;
    return compareProgrammeTable(r, "End of programm", image.endScene.data(), d + O::endScene, 0,
                                 kProgrammes) &&
           compareProgrammeTable(r, "Speed & sync", image.speedSync.data(), d + O::speedSync, 0,
                                 kProgrammes) &&
           compareProgrammeTable(r, "Fading", image.fade.data(), d + O::fade, 0, O::fadesInFirstBlock);
}

bool compareSecondSettingsBlock(Reporter& r, const ControllerImage& image, const std::uint8_t* d) {
    using O = SettingsBlockOffset;
    constexpr int kFirst = O::fadesInFirstBlock;
    if (!compareProgrammeTable(r, "Fading", image.fade.data() + kFirst, d + O::fadeContinued, kFirst,
                               kProgrammes - kFirst))
        return false;
    const unsigned readMode = d[O::specialButtonsMode];
    if (image.specialButtonsMode != readMode &&
        !r.differs("Special buttons mode veryfication error " + pair(readMode, image.specialButtonsMode)))
        return false;
    const bool readSlow = d[O::slowMode] != 0;
    const bool imageSlow = image.slowMode != 0;
    if (readSlow != imageSlow &&
        !r.differs(std::string("Slow mode veryfication error ") + "\n ( " + (readSlow ? "1" : "0") + " <> " +
                   (imageSlow ? "1" : "0") + kContinue))
        return false;
    for (int button = 0; button < kSpecialButtonCount; ++button)
        if (!compareSceneButton(r, kSpecialButtonWords[static_cast<std::size_t>(button)],
                                buttonScene(image, button), d + O::buttonScenes + 2 * button))
            return false;
    for (int f = 0; f < 3; ++f) {
        for (int c = 0; c < 16; ++c) {
            const unsigned got = d[O::cues + static_cast<std::size_t>(f * 16 + c)];
            const unsigned held = image.cues[f][c];
            if (got == held) continue;
            if (!r.differs("Cue veryfication error : cue no. " + num(c + 1) + " obszar " + num(f + 1) +
                           ":\n\t" + num(got + 1) + " <> " + num(held + 1) + " \nContinue checkin ?"))
                return false;
        }
    }
    return true;
}

}  // namespace

bool forEachDifference(const ControllerImage& image, std::uint32_t b,
                       std::span<const std::uint8_t, kBlockSize> read,
                       const std::function<bool(const std::string&)>& difference) {
    Reporter r(difference);
    const std::uint8_t* d = read.data();
    bool goOn = true;
    if (b < kFirstSettingsBlock) {
        const std::uint8_t* held = image.scenes[b / 2].data() + (b % 2) * kBlockSize;
        for (unsigned i = 0; goOn && i < kBlockSize; ++i) {
            if (held[i] == d[i]) continue;
            goOn = r.differs("Veryfication error : scene " + num(b / 2 + 1) + " kanał " +
                             num((b % 2) * 128 + i + 1) + "\n ( " + num(held[i]) + " <> " + num(d[i]) +
                             kContinue);
        }
    } else if (b == kFirstSettingsBlock) {
        goOn = compareFirstSettingsBlock(r, image, d);
    } else if (b == kFirstSettingsBlock + 1) {
        goOn = compareSecondSettingsBlock(r, image, d);
    } else if (b < kBlocks) {
        const unsigned first = (b - kFirstMidiBlock) * 64;
        for (unsigned i = 0; goOn && i < 64; ++i) {
            const unsigned got = static_cast<unsigned>(d[2 * i] | (d[2 * i + 1] << 8));
            const unsigned held = image.midi[first + i];
            if (got == held) continue;
            goOn = r.differs("Veryfication error : kanał MIDI " + num(first + i) + "\n ( " + hex(held) +
                             " <> " + hex(got) + kContinue);
        }
    }
    return goOn;
}

bool blockDiffers(const ControllerImage& image, std::uint32_t address,
                  std::span<const std::uint8_t, kBlockSize> read) {
    bool differs = false;
    forEachDifference(image, address, read, [&differs](const std::string&) {
        differs = true;
        return false;
    });
    return differs;
}

CompareResult compareBlock(const ControllerImage& image, std::uint32_t address,
                           std::span<const std::uint8_t, kBlockSize> read, UserInterface& ui,
                           bool& cleanVerification) {
    const bool goOn = forEachDifference(image, address, read, [&](const std::string& text) {
        cleanVerification = false;
        return ui.messageBox(text, "Fault", Icon::Warning, Buttons::YesNo) == Answer::Yes;
    });
    return goOn ? CompareResult::Continue : CompareResult::EndRun;
}

}  // namespace velora
