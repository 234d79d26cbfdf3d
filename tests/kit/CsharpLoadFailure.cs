// Runs the C# binding where kova_client cannot be loaded as it should (Mono on
// this machine: no Windows DLL loads here) and checks that nothing throws out
// of the class's calls but GetString's documented KovaClientException:
// Connect gives NoLauncher and records why, and the connection stays usable
// as "not connected".
//
//   mono CsharpLoadFailure.exe EXCEPTION-NAME
//
// EXCEPTION-NAME is the load failure expected in LibraryLoadError
// (DllNotFoundException without any library, EntryPointNotFoundException
// with a library that lacks the functions).
using System;
using Kova;

public static class CsharpLoadFailure {
  private static int failures;

  private static void Expect(bool holds, string what) {
    if (holds) return;
    Console.WriteLine("FAILED: " + what);
    ++failures;
  }

  public static int Main(string[] arguments) {
    string expected = arguments[0];
    try {
      using (var client = new KovaClient()) {
        KovaClientResult connected = client.Connect();
        Expect(connected == KovaClientResult.NoLauncher, "Connect gave " + connected);
        string error = KovaClient.LibraryLoadError ?? "(null)";
        Expect(error.StartsWith(expected + ": "), "LibraryLoadError is '" + error + "'");
        Expect(!client.IsConnected, "IsConnected after the failed Connect");
        byte[] value;
        KovaClientResult result = client.TryGetBytes("DisplayName", out value);
        Expect(result == KovaClientResult.NotConnected && value == null,
               "TryGetBytes gave " + result);
        try {
          client.GetString("DisplayName");
          Expect(false, "GetString did not throw");
        } catch (KovaClientException failure) {
          Expect(failure.Result == KovaClientResult.NotConnected,
                 "GetString threw for " + failure.Result);
          Expect(failure.Message == "NotConnected", "the exception says '" + failure.Message + "'");
        }
        Expect(KovaClient.LibraryVersion == 0, "LibraryVersion " + KovaClient.LibraryVersion);
        // A second Connect, and the Dispose at the end of the block.
        Expect(client.Connect(100) == KovaClientResult.NoLauncher, "the second Connect");
        client.Disconnect();
      }
    } catch (Exception escaped) {
      Console.WriteLine("FAILED: " + escaped.GetType().Name + " escaped: " + escaped.Message);
      return 1;
    }
    if (failures != 0) return 1;
    Console.WriteLine("kova_client unavailable (" + expected + "): every call gave a result");
    return 0;
  }
}
