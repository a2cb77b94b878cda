#include "TestAdaptor.h"

#include <algorithm>

#include "HostIdentification.h"

TestAdaptor::TestAdaptor(int32_t paramCount, const char* channelSpec, int32_t presetCount,
                         const char* effectName, const char* productName, const char* makerName,
                         int32_t versionCode, uint32_t uniqueCode, uint32_t makerCode,
                         bool instrumentMode, bool receivesMidi)
    : IPlugBase(paramCount, channelSpec, presetCount, effectName, productName, makerName,
                versionCode, uniqueCode, makerCode, 1, instrumentMode, receivesMidi) {
  InputBusNames().push_back("Main Input");
  OutputBusNames().push_back("Output");
}

void TestAdaptor::BeginParamGesture(int32_t paramIdx) {
  hostCalls.push_back({HostCall::BeginGesture, paramIdx, 0.0});
}

void TestAdaptor::SendParamToHost(int32_t paramIdx, double normalized) {
  hostCalls.push_back({HostCall::SendParam, paramIdx, normalized});
}

void TestAdaptor::EndParamGesture(int32_t paramIdx) {
  hostCalls.push_back({HostCall::EndGesture, paramIdx, 0.0});
}

void TestAdaptor::SendProgramChangeToHost() {
  hostCalls.push_back({HostCall::ProgramChange, -1, 0.0});
}

void TestAdaptor::HostTimeSignature(int32_t* numerator, int32_t* denominator) {
  if (numerator) *numerator = timeInfo.numerator;
  if (denominator) *denominator = timeInfo.denominator;
}

void TestAdaptor::HostTransport(ITimeInfo* info) {
  if (info) *info = timeInfo;
}

void TestAdaptor::ResizeEditor(int32_t width, int32_t height) {
  hostCalls.push_back({HostCall::ResizeEditor, width, double(height)});
}

bool TestAdaptor::ShowHostContextMenu(int32_t paramIdx, int32_t x, int32_t) {
  hostCalls.push_back({HostCall::ContextMenu, paramIdx, double(x)});
  return true;
}

bool TestAdaptor::SendMidiMessage(IMidiMessage* message) {
  if (message) sentMidi.push_back(*message);
  return false;
}

void TestAdaptor::Initialize(const char* hostName) {
  if (hostName) {
    SetHostCode(IdentifyHost(hostName));
    SetHostVersion(0);
  }
  OnHostIdentified();
  LockGuard guard(GetLock());
  RestorePreset(0);
}

void TestAdaptor::SetupProcessing(double sampleRate, int32_t maxFrames) {
  LockGuard guard(GetLock());
  SetSampleRate(sampleRate);
  SetBlockSize(maxFrames);
  Reset();
}

void TestAdaptor::Run(IBlockBus in, IBlockBus out, bool is64, int32_t frames) {
  if (GetBlockSize() == 0) SetBlockSize(frames);
  // A null buffer array means the host sent no such bus.
  driver.Process(&in, in.buffers32 || in.buffers64 ? 1 : 0, &out,
                 out.buffers32 || out.buffers64 ? 1 : 0, is64, frames);
}

void TestAdaptor::RunBlock32(const float* const* inputs, int32_t nIn, float* const* outputs,
                             int32_t nOut, int32_t frames) {
  IBlockBus in, out;
  in.channels = inputs ? nIn : 0;
  in.buffers32 = const_cast<float* const*>(inputs);  // read only
  out.channels = outputs ? nOut : 0;
  out.buffers32 = outputs;
  Run(in, out, false, frames);
}

void TestAdaptor::RunBlock64(double* const* inputs, int32_t nIn, double* const* outputs,
                             int32_t nOut, int32_t frames) {
  IBlockBus in, out;
  in.channels = inputs ? nIn : 0;
  in.buffers64 = inputs;
  out.channels = outputs ? nOut : 0;
  out.buffers64 = outputs;
  Run(in, out, true, frames);
}
