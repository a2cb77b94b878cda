// The module's exported entry points and its one registered class.
//
// Exports (all others are hidden by the link step): GetPluginFactory, InitDll, ExitDll and, for
// Linux hosts, ModuleEntry and ModuleExit.
#include "ModuleEntry.h"

#include "PluginFactory.h"

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"

#include <cstring>
#include <mutex>
#include <new>

#if defined(_WIN32)
#include <windows.h>
#define BRIMO_EXPORT extern "C" __declspec (dllexport)
#else
#define BRIMO_EXPORT extern "C" __attribute__ ((visibility ("default")))
#endif

using namespace Steinberg;

namespace {

constexpr uint32 kMakerCode = 0x4B77696C;  // 'Kwil'
constexpr uint32 kUniqueCode = 0x42726D31; // 'Brm1'

void* gAttachedHandle = nullptr; // recorded when the library is attached / entered
void* gInstanceHandle = nullptr; // published by InitDll

// Only the factory pointer is shared between GetPluginFactory calls; the factory clears it when it
// is destroyed, so a later call builds a fresh one.
CPluginFactory* gFactory = nullptr;
std::mutex gFactoryMutex;

std::mutex& creationMutex ()
{
	static std::mutex m;
	return m;
}

FUnknown* createInstance (void*)
{
	std::lock_guard<std::mutex> guard (creationMutex ());
	try
	{
		return brimo::NewPluginInstance ();
	}
	catch (...)
	{
		return nullptr;
	}
}

class ModuleFactory : public CPluginFactory
{
public:
	using CPluginFactory::CPluginFactory;

	// The count drops under the same mutex GetPluginFactory holds while it adds a reference, so
	// a dying factory is never handed out again.
	uint32 PLUGIN_API release () SMTG_OVERRIDE
	{
		std::unique_lock<std::mutex> guard (gFactoryMutex);
		const int32 left = FUnknownPrivate::atomicAdd (refCount, -1);
		if (left != 0)
			return static_cast<uint32> (left);
		if (gFactory == this)
			gFactory = nullptr;
		guard.unlock ();
		delete this;
		return 0;
	}
};

const PClassInfo2& classInfo ()
{
	static const PClassInfo2 info = [] {
		TUID cid;
		brimo::MakeClassId (cid, kMakerCode, kUniqueCode);
		return PClassInfo2 (cid, PClassInfo::kManyInstances, kVstAudioEffectClass, "BRIMO",
		                    Vst::kSimpleModeSupported, "Fx|EQ", "", "2.0.0", "VST 3.6.12");
	}();
	return info;
}

} // namespace

namespace brimo {

void* ModuleInstanceHandle ()
{
	return gInstanceHandle;
}

void MakeClassId (TUID cid, uint32 makerCode, uint32 uniqueCode)
{
	static const unsigned char head[8] = {0x0D, 0xE7, 0xAE, 0xF2, 0xDE, 0x00, 0x4E, 0x4F};
	std::memcpy (cid, head, 8);
	for (int i = 0; i < 4; ++i)
	{
		cid[8 + i] = static_cast<char> ((makerCode >> (24 - 8 * i)) & 0xFF);
		cid[12 + i] = static_cast<char> ((uniqueCode >> (24 - 8 * i)) & 0xFF);
	}
}

IPluginFactory* AcquirePluginFactory ()
{
	std::lock_guard<std::mutex> guard (gFactoryMutex);
	if (gFactory != nullptr)
	{
		gFactory->addRef ();
		return gFactory;
	}
	PFactoryInfo info ("KwillowAudioLab", "https://www.kwillowaudiolab.com",
	                   "mailto:info@kwillowaudiolab.com", PFactoryInfo::kUnicode);
	auto* factory = new (std::nothrow) ModuleFactory (info);
	if (factory == nullptr)
		return nullptr;
	if (!factory->registerClass (&classInfo (), createInstance))
	{
		delete factory; // never shared
		return nullptr;
	}
	gFactory = factory;
	return factory;
}

} // namespace brimo

BRIMO_EXPORT IPluginFactory* PLUGIN_API GetPluginFactory ()
{
	return brimo::AcquirePluginFactory ();
}

BRIMO_EXPORT bool InitDll ()
{
	gInstanceHandle = gAttachedHandle;
	return true;
}

BRIMO_EXPORT bool ExitDll ()
{
	return true;
}

#if defined(_WIN32)
// The library-attach hook runs before any export, so InitDll always finds the handle.
extern "C" BOOL WINAPI DllMain (HINSTANCE instance, DWORD reason, LPVOID)
{
	if (reason == DLL_PROCESS_ATTACH)
		gAttachedHandle = instance;
	return TRUE;
}
#else
BRIMO_EXPORT bool ModuleEntry (void* sharedLibraryHandle)
{
	gAttachedHandle = sharedLibraryHandle;
	return InitDll ();
}

BRIMO_EXPORT bool ModuleExit ()
{
	return ExitDll ();
}
#endif
