// The C# game: a console program that reads the launcher's DisplayName and
// SupportUrl properties through the C# binding (KovaClient.cs, beside
// kova_client.dll of the process's architecture) and prints them. Started any
// other way, or without a loadable kova_client.dll, it prints why it has no
// launcher values and runs on.
//
//   mcs -out:Game.exe Game.cs KovaClient.cs
//
// The lines to copy into a game are those between "copy from here" and
// "to here".
using System;
using Kova;

public static class Game {
  public static int Main() {
    string displayName = "My Game";
    string supportUrl = "none";
    // copy from here
    using (var launcher = new KovaClient()) {
      KovaClientResult connected = launcher.Connect();  // never throws; 0: the default time-out
      if (connected != KovaClientResult.Ok) {
        Console.WriteLine("No launcher values: " + KovaClient.ResultText(connected) +
                          (KovaClient.LibraryLoadError != null ? " (" + KovaClient.LibraryLoadError + ")" : ""));
      } else {
        byte[] bytes;
        // TryGetBytes gives the result; GetString throws KovaClientException instead.
        if (launcher.TryGetBytes("DisplayName", out bytes) == KovaClientResult.Ok && bytes.Length > 0) {
          displayName = System.Text.Encoding.UTF8.GetString(bytes);
        }
        try {
          supportUrl = launcher.GetString("SupportUrl");
        } catch (KovaClientException failure) {
          Console.WriteLine("SupportUrl: " + failure.Message);
        }
      }
    }
    // to here
    Console.WriteLine(displayName + " (support: " + supportUrl + ")");
    return 0;
  }
}
