#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "avm1/Vm.h"
#include "tests/avm1/ScriptTestUtil.h"

namespace lumen::avm1 {
namespace {

using testing::New;
using testing::TestBridge;
using testing::Text;

// onStatus that traces the code it was given, or "none".
Value TraceStatus(Vm& vm, const Arguments& a) {
  vm.bridge().Trace(a.size() == 0 ? "none" : Text(vm, vm.GetMember(a[0], "code")));
  return Value();
}

class MediaUiClassesTest : public ::testing::Test {
 protected:
  Value Call(const Value& o, std::string_view name, std::vector<Value> args = {}) {
    return vm.CallMethod(o, name, args);
  }
  Object* Proto(std::string_view ctor) {
    return vm.GetMember(vm.Get(vm.Global(), ctor), "prototype").AsObject();
  }

  TestBridge bridge;
  Vm vm{7, bridge};
};

// A local connection opens at once and reports it; a server is never reached, and closing its
// attempt reports the close and an end without details.
TEST_F(MediaUiClassesTest, NetConnectionReportsEachChangeOfState) {
  const Value nc = New(vm, "NetConnection", {});
  vm.SetMember(nc, "onStatus", static_cast<Object*>(vm.NewNative(TraceStatus)));
  Call(nc, "close");
  EXPECT_TRUE(vm.ToBoolean(Call(nc, "connect", {Value::Null()})));
  EXPECT_TRUE(vm.ToBoolean(Call(nc, "connect", {Value::Null()})));
  EXPECT_FALSE(vm.ToBoolean(Call(nc, "connect", {vm.Str("rtmp://example.org")})));
  Call(nc, "close");
  EXPECT_EQ(bridge.lines, (std::vector<std::string>{
                              "NetConnection.Connect.Success", "NetConnection.Connect.Closed",
                              "NetConnection.Connect.Success", "NetConnection.Connect.Closed",
                              "NetConnection.Connect.Closed", "none"}));
}

// The stream's properties come to NetStream.prototype with the first stream on an open
// connection, and are read from the stream's own state.
TEST_F(MediaUiClassesTest, NetStreamPropertiesComeWithAConnectedStream) {
  const Value nc = New(vm, "NetConnection", {});
  New(vm, "NetStream", {nc});
  EXPECT_EQ(Proto("NetStream")->Properties().Find("bufferTime", true), nullptr);
  Call(nc, "connect", {Value::Null()});
  const Value ns = New(vm, "NetStream", {nc});
  ASSERT_NE(Proto("NetStream")->Properties().Find("bufferTime", true), nullptr);
  Call(ns, "setBufferTime", {20.0});
  EXPECT_EQ(vm.ToNumber(vm.GetMember(ns, "bufferTime")), 20);
  EXPECT_TRUE(vm.GetMember(New(vm, "NetStream", {}), "bufferTime").IsUndefined());
}

TEST_F(MediaUiClassesTest, MicrophoneIsOneMutedObjectWithSettableState) {
  EXPECT_EQ(Proto("Microphone")->Properties().Find("gain", true), nullptr);
  const Value mic = Call(vm.Get(vm.Global(), "Microphone"), "get");
  EXPECT_EQ(mic.AsObject(), Call(vm.Get(vm.Global(), "Microphone"), "get").AsObject());
  EXPECT_TRUE(vm.ToBoolean(vm.GetMember(mic, "muted")));
  Call(mic, "setGain", {80.0});
  Call(mic, "setUseEchoSuppression", {16.0});
  EXPECT_EQ(vm.ToNumber(vm.GetMember(mic, "gain")), 80);
  EXPECT_TRUE(vm.GetMember(mic, "useEchoSuppression").IsBoolean());
  EXPECT_TRUE(vm.GetMember(New(vm, "Microphone", {}), "gain").IsUndefined());
  EXPECT_TRUE(Call(vm.Get(vm.Global(), "Camera"), "get").IsNull());
}

// copy() shares the built-in items and copies each custom item through its own copy().
TEST_F(MediaUiClassesTest, ContextMenuCopiesItsCustomItems) {
  const Value menu = New(vm, "ContextMenu", {});
  const Value items = vm.GetMember(menu, "customItems");
  Call(items, "push", {New(vm, "ContextMenuItem", {vm.Str("hi")})});
  Call(items, "push", {vm.Str("plain")});
  Call(menu, "hideBuiltInItems");
  const Value copy = Call(menu, "copy");
  EXPECT_EQ(vm.GetMember(copy, "builtInItems").AsObject(),
            vm.GetMember(menu, "builtInItems").AsObject());
  EXPECT_FALSE(vm.ToBoolean(vm.GetMember(vm.GetMember(copy, "builtInItems"), "print")));
  const Value copied = vm.GetMember(copy, "customItems");
  EXPECT_EQ(vm.ToNumber(vm.GetMember(copied, "length")), 2);
  const Value first = vm.GetMember(copied, "0");
  EXPECT_NE(first.AsObject(), vm.GetMember(items, "0").AsObject());
  EXPECT_EQ(Text(vm, vm.GetMember(first, "caption")), "hi");
  EXPECT_TRUE(vm.ToBoolean(vm.GetMember(first, "enabled")));
  EXPECT_TRUE(vm.GetMember(copied, "1").IsUndefined());
}

// A print job's methods are hidden from movies before 7; its sizes are read-only.
TEST_F(MediaUiClassesTest, PrintJobMethodsAndSizesByVersion) {
  Vm old{6, bridge};
  EXPECT_TRUE(old.GetMember(New(old, "PrintJob", {}), "start").IsUndefined());
  const Value job = New(vm, "PrintJob", {});
  EXPECT_FALSE(vm.ToBoolean(Call(job, "start")));
  vm.SetMember(job, "paperWidth", 5.0);
  EXPECT_EQ(vm.ToNumber(vm.GetMember(job, "paperWidth")), 0);
}

// A message sent to a name this player listens on runs the receiver's method at the next
// timers; names ignore letter case and are taken once.
TEST_F(MediaUiClassesTest, LocalConnectionDeliversToItsOwnListeners) {
  const Value receiver = New(vm, "LocalConnection", {});
  const Value sender = New(vm, "LocalConnection", {});
  vm.SetMember(receiver, "hello", static_cast<Object*>(vm.NewNative(TraceStatus)));
  EXPECT_TRUE(vm.ToBoolean(Call(receiver, "connect", {vm.Str("Line")})));
  EXPECT_FALSE(vm.ToBoolean(Call(sender, "connect", {vm.Str("line")})));
  Object* message = vm.NewObject();
  vm.SetOwn(message, "code", vm.Str("sent"));
  EXPECT_TRUE(vm.ToBoolean(Call(sender, "send", {vm.Str("LINE"), vm.Str("hello"), message})));
  EXPECT_FALSE(vm.ToBoolean(Call(sender, "send", {vm.Str("line")})));
  EXPECT_TRUE(bridge.lines.empty());
  vm.RunTimers(0);
  EXPECT_EQ(bridge.lines, std::vector<std::string>{"sent"});
  Call(receiver, "close");
  EXPECT_TRUE(vm.ToBoolean(Call(sender, "connect", {vm.Str("line")})));
}

// Values go to the container's XML form and come back from its nodes; nothing else answers
// without a page.
TEST_F(MediaUiClassesTest, ExternalInterfaceConvertsThroughXml) {
  Vm v8{8, bridge};
  const Value ei =
      v8.GetMember(v8.GetMember(v8.Get(v8.Global(), "flash"), "external"), "ExternalInterface");
  const Value list = New(v8, "Array", {1.0, v8.Str("a<b")});
  const Value xml = v8.CallMethod(ei, "_toXML", std::vector<Value>{list});
  EXPECT_EQ(Text(v8, xml),
            "<array><property id=\"0\"><number>1</number></property>"
            "<property id=\"1\"><string>a&lt;b</string></property></array>");
  const Value doc = New(v8, "XML", {xml});
  const Value back =
      v8.CallMethod(ei, "_toAS", std::vector<Value>{v8.GetMember(doc, "firstChild")});
  EXPECT_EQ(Text(v8, back), "1,a<b");
  EXPECT_TRUE(v8.CallMethod(ei, "call", std::vector<Value>{v8.Str("f")}).IsNull());
  EXPECT_FALSE(v8.ToBoolean(v8.GetMember(ei, "available")));
}

}  // namespace
}  // namespace lumen::avm1
