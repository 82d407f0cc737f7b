// project_reader.cpp - the header and layer records of a project file, read and checked.
#include "project_reader.h"

#include <cmath>

bool ReadProjectHeadStart(ProjectReader& r, ProjectHeader& h) {
    return r.I32(h.version) && r.Str(h.theme, kMaxNameBytes);
}

bool ReadProjectHeadRest(ProjectReader& r, ProjectHeader& h) {
    return r.Str(h.picture, kMaxNameBytes) && r.I32(h.width) && r.I32(h.height);
}

namespace {

bool Finite(float v) { return std::isfinite(v) && std::fabs(v) <= kMaxStoredMagnitude; }
bool Side(int32_t v) { return v >= 0 && v <= kMaxStoredSide; }

// Values no layer of this program can have: negative or absurd sizes, non-numbers, a mask that
// does not exist, a text size the text drawer would never accept.
bool Plausible(const TexImage& t) {
    const float floats[] = {t.scaleX, t.scaleY, t.alpha, t.shadowAngle, t.shadowOffset,
                            t.shadowDarkness, t.hue, t.saturation, t.lightness, t.frameColorR,
                            t.frameColorG, t.frameColorB, t.fillR, t.fillG, t.fillB, t.reflection,
                            t.textR, t.textG, t.textB, t.maskRadius};
    for (float v : floats)
        if (!Finite(v)) return false;
    if (!Side(t.width) || !Side(t.height) || !Side(t.texWidth) || !Side(t.texHeight)) return false;
    if (!Side(t.frameSize)) return false;
    if (t.scaleX < 0 || t.scaleX > kMaxStoredScale || t.scaleY < 0 || t.scaleY > kMaxStoredScale) return false;
    if (t.mask < 0 || t.mask >= kMaskCount) return false;
    if (t.isText && (t.fontSize < kMinFontSize || t.fontSize > kMaxFontSize)) return false;
    return true;
}

}  // namespace

ProjectWalk ReadProjectRecord(ProjectReader& r, int version, TexImage& t, uint32_t* component) {
    *component = 0;
    if (r.Left() < 4) return ProjectWalk::End;
    if (!r.Str(t.name, kMaxNameBytes)) return ProjectWalk::Refused;
    bool ok = r.I32(t.width) && r.I32(t.height) && r.I32(t.depth) && r.I32(t.posX) &&
              r.I32(t.posY) && r.I32(t.rotX) && r.I32(t.rotY) && r.I32(t.rotZ) &&
              r.I32(t.channels) && r.F32(t.scaleX) && r.F32(t.scaleY) && r.F32(t.alpha) &&
              r.Flag(t.shadow) && r.F32(t.shadowAngle) && r.F32(t.shadowOffset) &&
              r.F32(t.shadowDarkness) && r.F32(t.hue) && r.F32(t.saturation) &&
              r.F32(t.lightness) && r.Flag(t.frame) && r.I32(t.frameSize) &&
              r.F32(t.frameColorR) && r.F32(t.frameColorG) && r.F32(t.frameColorB) &&
              r.F32(t.fillR) && r.F32(t.fillG) && r.F32(t.fillB);
    if (!ok) return ProjectWalk::Refused;
    if (version <= 1) {
        t.reflection = 1.0f;
        t.texWidth = t.width;
        t.texHeight = t.height;
    } else if (!(r.F32(t.reflection) && r.I32(t.texWidth) && r.I32(t.texHeight))) {
        return ProjectWalk::Refused;
    }
    if (version >= 3) {
        ok = r.Flag(t.isText) && r.I32(t.fontSize) && r.I32(t.outlined) && r.F32(t.textR) &&
             r.F32(t.textG) && r.F32(t.textB) && r.Str(t.fontText, kMaxFontTextBytes) &&
             r.Str(t.fontName, kMaxFontNameBytes);
        if (!ok) return ProjectWalk::Refused;
    }
    if (version >= 4 && !(r.F32(t.maskRadius) && r.I32(t.mask) && r.I32(t.maskAngle) && r.Flag(t.maskFit)))
        return ProjectWalk::Refused;
    if (!t.isText && (!r.U32(*component) || *component > r.Left())) return ProjectWalk::Refused;
    return Plausible(t) ? ProjectWalk::Record : ProjectWalk::Refused;
}
