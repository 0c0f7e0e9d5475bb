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
#include <list>
#include <mutex>
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

    bool getIsActivated();
    bool getHasFocus();
    size_t getEffectCount();

protected:
    using Guard = std::lock_guard<std::recursive_mutex>;

    // Steps common to every new effect: the manager's passwords, the
    // configured mode, volume, radius and loop flag, the focus volume.
    void configureEffect(Effect* effect, const std::string& name);
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
