#include "PlugAdaptor.h"

#include <algorithm>

#include "HostIdentification.h"

PlugAdaptor::PlugAdaptor(int32_t paramCount, const char* channelSpec, int32_t presetCount,
                         const char* effectName, const char* productName, const char* makerName,
                         int32_t versionCode, uint32_t uniqueCode, uint32_t makerCode,
                         bool instrumentMode, bool receivesMidi)
    : IPlugBase(paramCount, channelSpec, presetCount, effectName, productName, makerName,
                versionCode, uniqueCode, makerCode, 1, instrumentMode, receivesMidi)
{
  for (int32_t i = 0; i < InputChannelCount(); ++i) SetInputConnected(i, true);
  for (int32_t i = 0; i < OutputChannelCount(); ++i) SetOutputConnected(i, true);
  if (InputChannelCount() > 0) CreateLatencyDelay();
  InputBusNames().push_back("Main Input");
  OutputBusNames().push_back("Output");

  pieceIn32.resize(size_t(InputChannelCount()));
  pieceOut32.resize(size_t(OutputChannelCount()));
  pieceIn64.resize(size_t(InputChannelCount()));
  pieceOut64.resize(size_t(OutputChannelCount()));
}

void PlugAdaptor::BeginParamGesture(int32_t paramIdx)
{
  hostCalls.push_back({HostCall::BeginGesture, paramIdx, 0.0});
}

void PlugAdaptor::SendParamToHost(int32_t paramIdx, double normalized)
{
  hostCalls.push_back({HostCall::SendParam, paramIdx, normalized});
}

void PlugAdaptor::EndParamGesture(int32_t paramIdx)
{
  hostCalls.push_back({HostCall::EndGesture, paramIdx, 0.0});
}

void PlugAdaptor::SendProgramChangeToHost()
{
  hostCalls.push_back({HostCall::ProgramChange, -1, 0.0});
}

void PlugAdaptor::HostTimeSignature(int32_t* numerator, int32_t* denominator)
{
  if (numerator) *numerator = timeInfo.numerator;
  if (denominator) *denominator = timeInfo.denominator;
}

void PlugAdaptor::HostTransport(ITimeInfo* info)
{
  if (info) *info = timeInfo;
}

void PlugAdaptor::ResizeEditor(int32_t width, int32_t height)
{
  hostCalls.push_back({HostCall::ResizeEditor, width, double(height)});
}

bool PlugAdaptor::SendMidiMessage(IMidiMessage* message)
{
  if (message) sentMidi.push_back(*message);
  return false;
}

void PlugAdaptor::Initialize(const char* hostName)
{
  if (hostName)
  {
    SetHostCode(IdentifyHost(hostName));
    SetHostVersion(0);
  }
  OnHostIdentified();
  RestorePreset(0);
}

void PlugAdaptor::SetupProcessing(double sampleRate, int32_t maxFrames)
{
  SetSampleRate(sampleRate);
  SetBypassed(false);
  SetBlockSize(maxFrames);
  Reset();
}

void PlugAdaptor::ConnectChannels(int32_t nIn, int32_t nOut)
{
  for (int32_t i = 0; i < InputChannelCount(); ++i) SetInputConnected(i, i < nIn);
  for (int32_t i = 0; i < OutputChannelCount(); ++i) SetOutputConnected(i, i < nOut);
}

void PlugAdaptor::RunPiece(bool is32, const float* const* in32, float* const* out32,
                           double* const* in64, double* const* out64, int32_t nIn, int32_t nOut,
                           int32_t offset, int32_t frames)
{
  const int32_t ins = std::min(nIn, InputChannelCount());
  const int32_t outs = std::min(nOut, OutputChannelCount());
  if (is32)
  {
    for (int32_t i = 0; i < ins; ++i) pieceIn32[size_t(i)] = in32[i] ? in32[i] + offset : nullptr;
    for (int32_t i = 0; i < outs; ++i) pieceOut32[size_t(i)] = out32[i] ? out32[i] + offset : nullptr;
    AttachInputs32(0, InputChannelCount(), pieceIn32.data(), frames);
    AttachOutputs32(0, OutputChannelCount(), pieceOut32.data());
  }
  else
  {
    for (int32_t i = 0; i < ins; ++i) pieceIn64[size_t(i)] = in64[i] ? in64[i] + offset : nullptr;
    for (int32_t i = 0; i < outs; ++i) pieceOut64[size_t(i)] = out64[i] ? out64[i] + offset : nullptr;
    AttachInputs64(InputChannelCount(), pieceIn64.data());
    AttachOutputs64(0, OutputChannelCount(), pieceOut64.data());
  }
  if (IsBypassed())
    PassThroughBuffers(frames);
  else
    ProcessBlock(InputPointers(), OutputPointers(), frames);
  if (is32) ConvertOutputs32(frames);
}

void PlugAdaptor::RunBlock32(const float* const* inputs, int32_t nIn, float* const* outputs,
                             int32_t nOut, int32_t frames)
{
  if (GetBlockSize() == 0) SetBlockSize(frames);
  LockGuard guard(GetLock());
  ConnectChannels(inputs ? nIn : 0, outputs ? nOut : 0);
  for (int32_t done = 0; done < frames && GetBlockSize() > 0;)
  {
    const int32_t n = std::min(frames - done, GetBlockSize());
    RunPiece(true, inputs, outputs, nullptr, nullptr, nIn, nOut, done, n);
    done += n;
  }
}

void PlugAdaptor::RunBlock64(double* const* inputs, int32_t nIn, double* const* outputs,
                             int32_t nOut, int32_t frames)
{
  if (GetBlockSize() == 0) SetBlockSize(frames);
  LockGuard guard(GetLock());
  ConnectChannels(inputs ? nIn : 0, outputs ? nOut : 0);
  for (int32_t done = 0; done < frames && GetBlockSize() > 0;)
  {
    const int32_t n = std::min(frames - done, GetBlockSize());
    RunPiece(false, nullptr, nullptr, inputs, outputs, nIn, nOut, done, n);
    done += n;
  }
}
