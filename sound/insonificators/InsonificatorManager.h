#pragma once
// The registry of the sound groups, addressed by id: 0 "Sound effects",
// 1 "Environment sounds", 2 "Menu sounds", 3 "Music". Requests for a group
// go to the insonificator that carries the group's name among the first four
// registered; an unknown id, or a group nobody carries, makes a request do
// nothing (or answer 0 / false).
//
// Threads: insonificators register during start-up on one thread; the
// forwarding operations may be called from any thread afterwards (each
// insonificator locks itself).
#include <string>
#include <vector>

#include "interfaces/Export.h"

class Insonificator;

class ZULSOUND_API InsonificatorManager {
public:
    static constexpr unsigned long groupCount = 4;

    InsonificatorManager();
    virtual ~InsonificatorManager();

    void add(Insonificator* insonificator);
    unsigned long getQuantity();
    std::string getName(unsigned long id);

    void enable(unsigned long id);
    void disable(unsigned long id);
    bool getIsEnabled(unsigned long id);
    void setQuality(unsigned long id, float quality);
    float getQuality(unsigned long id);
    float getMinQuality(unsigned long id);
    float getMaxQuality(unsigned long id);
    void setVolume(unsigned long id, float volume);
    float getVolume(unsigned long id);
    float getMinVolume(unsigned long id);
    float getMaxVolume(unsigned long id);

    InsonificatorManager(const InsonificatorManager&) = delete;
    InsonificatorManager& operator=(const InsonificatorManager&) = delete;

protected:
    Insonificator* getInsonificator(unsigned long id);

private:
    std::vector<Insonificator*> insonificators;
    std::string groupNames[groupCount];
};
