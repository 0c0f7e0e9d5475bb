#pragma once
// The factory of effects and listeners. It creates shell effects and shell
// listeners, configures each new effect from its record in "Effects.snd",
// switches all effects (pause) or all listeners on and off as a whole, mutes
// every effect while the game window lacks the focus, and holds the listener
// settings read from "/Configs/Sounds/Listener.cfg".
//
// Two passwords belong to the manager and are added to every effect: the
// manager password "ShellManager" (the global switch, and the configured
// volume and radius) and the focus password "ShellManagerFocusProcessor"
// (volume 1 with the focus, 0 without).
//
// Threads: game threads create, destroy and switch; the window thread
// delivers focus events. The manager's lock is held across every call into
// effects and listeners (lock order: manager, then effect or listener).
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "interfaces/Window.h"
#include "sound/effects/EffectManager.h"
#include "sound/effects/ListenerManager.h"

class Effect;
class Listener;
struct EffectConfig;

class ShellManager : public EffectManager, public ListenerManager, public RenderWindowListener {
public:
    ShellManager();
    ~ShellManager() override;

    // EffectManager
    Effect* createEffect(const std::string& name) override;
    void destroyEffect(Effect* effect) override;
    void activateAllEffects() override;
    void deactivateAllEffects() override;
    virtual void activate();
    virtual void deactivate();

    // ListenerManager
    Listener* createListener() override;
    void destroyListener(Listener* listener) override;
    void activateAllListeners() override;
    void deactivateAllListeners() override;

    // RenderWindowListener
    void getFocus() override;
    void lostFocus() override;

    void reloadListenerConfig();
    // "Listener.cfg" read again without switching the effects off: the
    // listeners take the new rolloff and distance at once (each is
    // activated again), positions take the new scales from their next move.
    // False when the file does not read.
    bool reloadListenerSettings();

    // Content that changed while the game runs.
    struct EffectReload {
        std::set<std::string> reload;       // the sound changed: give it back, load it again
        std::set<std::string> reconfigure;  // volume, radius and loop flag taken again from the record
        std::set<std::string> remode;       // the 3D mode taken again from the record
        std::map<std::string, uint32_t> frames;  // the new sound's length by name, where known
    };
    // The effects named in `reload` give their device effects back (those
    // playing remember where), `between` runs (the request manager takes its
    // new records), the effects named in `reconfigure` / `remode` take their
    // settings again from the records, and those of `reload` load again: an
    // effect that was playing goes on from where it was, or from the start
    // where the new sound is shorter. Effects switched off (pause, the
    // manager deactivated) stay off and load the new sound when switched on.
    // Returns how many effects were reloaded.
    size_t reloadEffects(const EffectReload& what, const std::function<void()>& between);

    bool getIsActivated();
    bool getHasFocus();
    size_t getEffectCount();

protected:
    using Guard = std::lock_guard<std::recursive_mutex>;

    // Steps common to every new effect: the manager's passwords, the
    // configured mode, volume, radius and loop flag, the focus volume.
    void configureEffect(Effect* effect, const std::string& name);
    void applySettings(Effect* effect, const EffectConfig& config);
    // Device effects the manager holds of its own for these names (none here).
    virtual void releaseKept(const std::set<std::string>& names);
    virtual void reloadKept(const std::set<std::string>& names);
    void shellDeactivate();
    static const EffectConfig* findConfig(const std::string& name);

    std::list<Effect*> effects;
    std::list<Listener*> listeners;
    bool effectsActive = true;
    bool listenersActive = true;
    bool windowRegistered = false;
    bool focus = true;
    bool activated = false;
    std::string focusPassword;
    std::recursive_mutex lock;
    std::string managerPassword = "ShellManager";
};
