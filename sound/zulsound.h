#pragma once
/// @file
/// Everything a game needs from the sound library, in one include
/// (installed as <zulsound/zulsound.h>): the SoundManager façade, the
/// exported singleton pointers and classes, the interfaces a host implements
/// (3D engine, game board, window) and the host's settings (content,
/// logging, output), and the version.
///
/// The order in which a game calls them is the README's "Using the library
/// from a game"; examples/game/game.cpp is that recipe as a program.

// The library's own classes and pointers.
#include "sound/manager/SoundManager.h"
#include "sound/manager/Singletons.h"
#include "sound/manager/Version.h"
#include "sound/effects/Effect.h"
#include "sound/effects/EffectManager.h"
#include "sound/effects/Listener.h"
#include "sound/effects/ListenerManager.h"
#include "sound/insonificators/Insonificator.h"
#include "sound/insonificators/InsonificatorManager.h"
#include "sound/insonificators/ActInsonificator.h"
#include "sound/insonificators/UIInsonificator.h"
#include "sound/music/MessageQueue.h"
#include "sound/music/MusicInsonificator.h"
#include "sound/land/LandInsonificator.h"
#include "sound/diagnostics/TestInsonificator.h"
#include "sound/manager/ContentWatch.h"

// What the host implements and sets: the 3D engine (View, the paused render
// timer, the landscape camera), the game logic (GameBoard, subtype names,
// the clock), the window's focus, developer keys.
#include "interfaces/Engine.h"
#include "interfaces/GameLogic.h"
#include "interfaces/Window.h"
#include "interfaces/DebugInput.h"
// Ready-made host objects for what a game does not write itself.
#include "interfaces/SimpleHost.h"

// The host's settings: save blocks, content, logging, the output.
#include "interfaces/Config.h"
#include "interfaces/Resource.h"
#include "interfaces/Debug.h"
#include "interfaces/SoundDevice.h"
#include "interfaces/Vector.h"
