#pragma once

// Installs the global functions and built-in classes into a new engine. One file per family of
// classes; each installer adds its constructors to the global object.

#include <string_view>

#include "avm1/Object.h"

namespace lumen::avm1 {

class Vm;
class Object;
class Value;
class ClipDisplayAccess;
struct Arguments;
struct FormatValues;

void InstallBuiltins(Vm& vm);

// Natives that answer the same whatever they are given: methods with nothing behind them here.
Value Nothing(Vm&, const Arguments&);
Value Null(Vm&, const Arguments&);
Value False(Vm&, const Arguments&);

// The object a native constructor called as a function fills in, as super() calls it from a
// script subclass: a plain script object, not a clip nor the globals of a plain call.
Object* SuperTarget(Vm& vm, const Value& self);

void InstallObjectClass(Vm& vm);  // Object and Function
// Entry `index` of Object.prototype's native table (ASnative 101); null past its end.
NativeFunction ObjectNative(double index);
void InstallGlobalFunctions(Vm& vm);
void InstallArrayClass(Vm& vm);
void InstallStringClass(Vm& vm);
void InstallNumberClasses(Vm& vm);  // Number, Boolean, Math
// Entry `index` of Math's native table (ASnative 200).
NativeFunction MathNative(double index);
// Entry `index` of Object.prototype's native table (ASnative 101), or null.
NativeFunction ObjectNative(double index);
void InstallErrorClass(Vm& vm);
void InstallDateClass(Vm& vm);
void InstallXmlClasses(Vm& vm);
// Form-encoded `name=value&...` text set as members of `target` (LoadVars.decode, loadVariables).
void DecodeVariables(Vm& vm, Object* target, std::string_view text);
void InstallMovieClipClass(Vm& vm);
void InstallPlayerObjects(Vm& vm);  // Key, Mouse, Stage, System, Color, SharedObject, ...
void InstallGeomClasses(Vm& vm);    // flash.geom
// A flash.geom.Rectangle.
Object* NewGeomRectangle(Vm& vm, double x, double y, double width, double height);
// MovieClip's blendMode, cacheAsBitmap, scrollRect, scale9Grid and opaqueBackground; after
// MovieClip and flash.geom.
void InstallClipLookProperties(Vm& vm);
// The display of the clip `self` stands for; null for anything else.
ClipDisplayAccess* ClipDisplayOf(Vm& vm, const Value& self);
// `_global.flash`, made by the first package that needs it.
Object* FlashPackage(Vm& vm);
void InstallTextFieldClasses(Vm& vm);  // TextField, TextFormat
// A TextFormat with every value unset (null).
Object* NewTextFormat(Vm& vm);
// The values a TextFormat object sets.
FormatValues FormatValuesOf(Vm& vm, Object* format);
void InstallStyleSheetClass(Vm& vm);  // TextField.StyleSheet; after TextField
void InstallSoundClass(Vm& vm);
void InstallMovieClipLoaderClass(Vm& vm);  // after AsBroadcaster
void InstallPrintJobClass(Vm& vm);
void InstallMediaClasses(Vm& vm);  // Camera, Microphone, Video, Net*, XMLSocket, LocalConnection
void InstallTextSnapshotClass(Vm& vm);
void InstallExternalInterface(Vm& vm);     // flash.external
void InstallFileReferenceClasses(Vm& vm);  // flash.net; after AsBroadcaster
void InstallUiClasses(Vm& vm);  // Accessibility, Selection, ContextMenu; after AsBroadcaster

}  // namespace lumen::avm1
