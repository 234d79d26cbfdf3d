// C# binding of the game-side client, for Unity and other .NET games on
// Windows: P/Invoke over kova_client.dll (x86_64 or i686, whichever matches
// the process). Put the DLL where the game loads native plugins from, and
// this file among the game's scripts.
//
//   using (var client = new Kova.KovaClient()) {
//     if (client.Connect() == Kova.KovaClientResult.Ok) {
//       string name = client.GetString("DisplayName");
//     }
//   }
//
// Every declaration below mirrors kova_client.h: the same exported names, the
// C calling convention, and arguments that cross unchanged (byte arrays,
// pointers, UIntPtr for size_t, uint, the 32-byte connection). Names go to
// the library as UTF-8 bytes, and values come back as the properties
// document's bytes, which GetString decodes as UTF-8 (bytes that are not
// UTF-8 become U+FFFD; GetBytes returns them untouched).
//
// A kova_client.dll that cannot be loaded (missing, of the other
// architecture, or without the functions this file names) throws nothing out
// of Connect: it gives KovaClientResult.NoLauncher, the result whose remedy
// (run without launcher values) is the same, and LibraryLoadError says why.
// The result numbers stay those of kova_client.h: a value of the binding's
// own could collide with a result the library adds later.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Kova {

// The result of every call; the same numbers as KovaClientResult in
// kova_client.h. New results are only ever added at the end.
public enum KovaClientResult {
  Ok = 0,
  InvalidArgument = 1,
  NoLauncher = 2,
  NoReply = 3,
  Timeout = 4,
  BlockUnavailable = 5,
  QueryFailed = 6,
  ValueTooLarge = 7,
  NameTooLong = 8,
  NotConnected = 9,
  SystemError = 10
}

// The connection's storage, KOVA_CLIENT_SIZE (32) bytes on 32-bit and 64-bit
// processes alike; the library owns its contents. All zero: not connected.
[StructLayout(LayoutKind.Sequential, Size = 32)]
public struct KovaClientStorage {
  private ulong field0;
  private ulong field1;
  private ulong field2;
  private ulong field3;
}

// The library's functions, one for each export of kova_client.dll.
public static class KovaClientNative {
  public const string Library = "kova_client";
  public const uint HeaderVersion = 10200;  // KOVA_CLIENT_VERSION this file follows
  public const uint MaxTextSize = 65532;    // KOVA_CLIENT_MAX_TEXT_SIZE

  [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
  public static extern uint KovaClientVersion();

  [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
  public static extern KovaClientResult KovaClientConnect(ref KovaClientStorage client,
                                                          uint timeoutMilliseconds);

  // `name` NUL-terminated.
  [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
  public static extern KovaClientResult KovaClientGetString(ref KovaClientStorage client,
                                                            byte[] name,
                                                            [Out] byte[] buffer,
                                                            UIntPtr bufferSize,
                                                            out UIntPtr sizeWithNul);

  // `buffer` null with `bufferSize` 0 asks for the size needed (NUL included).
  [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
  public static extern KovaClientResult KovaClientGetStringN(ref KovaClientStorage client,
                                                             byte[] name,
                                                             UIntPtr nameLength,
                                                             [Out] byte[] buffer,
                                                             UIntPtr bufferSize,
                                                             out UIntPtr sizeWithNul);

  [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
  public static extern int KovaClientIsConnected(ref KovaClientStorage client);

  [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
  public static extern void KovaClientDisconnect(ref KovaClientStorage client);

  // A static ASCII text, never null, not to be freed.
  [DllImport(Library, CallingConvention = CallingConvention.Cdecl)]
  public static extern IntPtr KovaClientResultText(KovaClientResult result);
}

// A failed call of GetString or GetBytes.
public class KovaClientException : Exception {
  public KovaClientException(KovaClientResult result)
      : base(KovaClient.ResultText(result)) {
    Result = result;
  }

  public KovaClientResult Result { get; private set; }
}

// One connection to the launcher that started the game. One thread at a time
// may use it; separate objects may be used by separate threads at once.
public sealed class KovaClient : IDisposable {
  private KovaClientStorage storage;
  // True from a successful Connect to Disconnect: only then may the storage
  // hold a connection, so only then do IsConnected, Disconnect, Dispose and
  // the queries call the library, and without a loadable DLL they still work.
  private bool mayHoldConnection;

  // Why kova_client.dll could not be loaded ("DllNotFoundException: ..."), or
  // null while it loaded or was not tried.
  public static string LibraryLoadError { get; private set; }

  // The version of the loaded library (MAJOR * 10000 + MINOR * 100 + PATCH);
  // needs no connection. 0 when the library cannot be loaded.
  public static uint LibraryVersion {
    get {
      try {
        return KovaClientNative.KovaClientVersion();
      } catch (DllNotFoundException error) {
        LoadFailed(error);
      } catch (BadImageFormatException error) {
        LoadFailed(error);
      } catch (EntryPointNotFoundException error) {
        LoadFailed(error);
      }
      return 0;
    }
  }

  // The library's text for `result`; the result's name when the library
  // cannot be loaded.
  public static string ResultText(KovaClientResult result) {
    try {
      return Marshal.PtrToStringAnsi(KovaClientNative.KovaClientResultText(result));
    } catch (DllNotFoundException error) {
      LoadFailed(error);
    } catch (BadImageFormatException error) {
      LoadFailed(error);
    } catch (EntryPointNotFoundException error) {
      LoadFailed(error);
    }
    return result.ToString();
  }

  // Finds the launcher and opens its channel; an earlier connection is closed
  // first. 0: the library's default time-out (2000 ms) for each wait.
  // NoLauncher also when the library cannot be loaded (see LibraryLoadError).
  public KovaClientResult Connect(uint timeoutMilliseconds = 0) {
    Disconnect();
    KovaClientResult result;
    try {
      result = KovaClientNative.KovaClientConnect(ref storage, timeoutMilliseconds);
    } catch (DllNotFoundException error) {
      return LoadFailed(error);
    } catch (BadImageFormatException error) {
      return LoadFailed(error);
    } catch (EntryPointNotFoundException error) {
      return LoadFailed(error);
    }
    mayHoldConnection = result == KovaClientResult.Ok;
    return result;
  }

  public bool IsConnected {
    get { return mayHoldConnection && KovaClientNative.KovaClientIsConnected(ref storage) != 0; }
  }

  public void Disconnect() {
    if (mayHoldConnection) KovaClientNative.KovaClientDisconnect(ref storage);
    mayHoldConnection = false;
  }

  public void Dispose() {
    Disconnect();
  }

  // The string property `name` (matched exactly, case included; an unknown
  // name gives ""), decoded as UTF-8. Throws KovaClientException on failure.
  public string GetString(string name) {
    return Encoding.UTF8.GetString(GetBytes(name));
  }

  // The string property `name` as the document's bytes, without the NUL.
  public byte[] GetBytes(string name) {
    byte[] value;
    KovaClientResult result = TryGetBytes(name, out value);
    if (result != KovaClientResult.Ok) throw new KovaClientException(result);
    return value;
  }

  // As GetBytes, giving the result instead of throwing (`value` null on failure).
  public KovaClientResult TryGetBytes(string name, out byte[] value) {
    value = null;
    if (name == null) return KovaClientResult.InvalidArgument;
    if (!mayHoldConnection) return KovaClientResult.NotConnected;
    // The name's bytes and a NUL: never an empty array, which some runtimes
    // pass as a null pointer.
    byte[] nameBytes = new byte[Encoding.UTF8.GetByteCount(name) + 1];
    int nameLength = Encoding.UTF8.GetBytes(name, 0, name.Length, nameBytes, 0);
    // Ask for the size, then for the value. The value may have grown in
    // between: then ask once more with room for any value the channel carries.
    UIntPtr sizeWithNul;
    KovaClientResult result = Query(nameBytes, nameLength, null, out sizeWithNul);
    byte[] buffer = null;
    if (result == KovaClientResult.ValueTooLarge) {
      buffer = new byte[(int)(uint)sizeWithNul];
      result = Query(nameBytes, nameLength, buffer, out sizeWithNul);
    }
    if (result == KovaClientResult.ValueTooLarge) {
      buffer = new byte[KovaClientNative.MaxTextSize + 1];
      result = Query(nameBytes, nameLength, buffer, out sizeWithNul);
    }
    if (result != KovaClientResult.Ok) return result;
    value = new byte[(int)(uint)sizeWithNul - 1];
    Array.Copy(buffer, value, value.Length);
    return KovaClientResult.Ok;
  }

  private static KovaClientResult LoadFailed(Exception error) {
    LibraryLoadError = error.GetType().Name + ": " + error.Message;
    return KovaClientResult.NoLauncher;
  }

  // One query; a null buffer is the size probe.
  private KovaClientResult Query(byte[] name, int nameLength, byte[] buffer,
                                 out UIntPtr sizeWithNul) {
    return KovaClientNative.KovaClientGetStringN(
        ref storage, name, (UIntPtr)(uint)nameLength, buffer,
        (UIntPtr)(uint)(buffer == null ? 0 : buffer.Length), out sizeWithNul);
  }
}

}  // namespace Kova
