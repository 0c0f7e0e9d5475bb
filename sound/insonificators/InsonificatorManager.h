#pragma once
/// @file
/// The registry of the four sound groups, by id (theInsonificatorManager).
#include <string>
#include <vector>

#include "interfaces/Export.h"

class Insonificator;

/// The registry of the sound groups, addressed by id: 0 "Sound effects"
/// (actions), 1 "Environment sounds" (landscape), 2 "Menu sounds", 3
/// "Music". Published as theInsonificatorManager; the game's options screen
/// sets each group's volume and switch here.
///
/// Requests for a group go to the insonificator that carries the group's
/// name among the first four registered; an unknown id, or a group nobody
/// carries (the menu sounds before the game builds its UIInsonificator),
/// makes a request do nothing and a query answer 0 or false, without a
/// message.
///
/// Threads: insonificators register during start-up on one thread; the
/// forwarding operations may be called from any thread afterwards (each
/// insonificator locks itself).
class ZULSOUND_API InsonificatorManager {
public:
    /// The number of group ids, 4.
    static constexpr unsigned long groupCount = 4;

    /// An empty registry with the four group names (built by the SoundManager).
    InsonificatorManager();
    /// Forgets the insonificators; they belong to their creators.
    virtual ~InsonificatorManager();

    /// Registers an insonificator (its constructor does this).
    void add(Insonificator* insonificator);
    /// How many insonificators registered.
    unsigned long getQuantity();
    /// The name of group `id`; empty for an unknown id.
    std::string getName(unsigned long id);

    /// Switches group `id` on (Insonificator::enableAllEffects()).
    void enable(unsigned long id);
    /// Switches group `id` off (Insonificator::disableAllEffects()).
    void disable(unsigned long id);
    /// Whether group `id` is on.
    bool getIsEnabled(unsigned long id);
    /// Sets the quality of group `id`.
    void setQuality(unsigned long id, float quality);
    /// The quality of group `id`.
    float getQuality(unsigned long id);
    /// The lowest quality of group `id`.
    float getMinQuality(unsigned long id);
    /// The highest quality of group `id`.
    float getMaxQuality(unsigned long id);
    /// Sets the volume of group `id` (0.0 to 1.0, applied as a gain).
    void setVolume(unsigned long id, float volume);
    /// The volume of group `id`.
    float getVolume(unsigned long id);
    /// The lowest volume of group `id`.
    float getMinVolume(unsigned long id);
    /// The highest volume of group `id`.
    float getMaxVolume(unsigned long id);

    InsonificatorManager(const InsonificatorManager&) = delete;
    InsonificatorManager& operator=(const InsonificatorManager&) = delete;

protected:
    Insonificator* getInsonificator(unsigned long id);

private:
    std::vector<Insonificator*> insonificators;
    std::string groupNames[groupCount];
};
