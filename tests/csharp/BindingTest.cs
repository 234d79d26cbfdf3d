// Runs the C# binding (client/bindings/KovaClient.cs) against the stand-in
// library of client_stand_in.c: what crosses the boundary (the connection's
// storage, names as UTF-8 bytes with their length and a NUL, buffers and
// sizes), the size probe and the second ask when a value grows, the decoding
// of values, and each result. Prints every failed check; exit code 0 when all
// pass.
using System;
using System.Runtime.InteropServices;
using System.Text;
using Kova;

static class StandIn {
  [DllImport(KovaClientNative.Library)]
  public static extern void KovaStandInReset();

  [DllImport(KovaClientNative.Library)]
  public static extern uint KovaStandInTimeout();

  [DllImport(KovaClientNative.Library)]
  public static extern int KovaStandInCalls();

  [DllImport(KovaClientNative.Library)]
  public static extern long KovaStandInBufferSize(int call);

  [DllImport(KovaClientNative.Library)]
  public static extern UIntPtr KovaStandInLastName([Out] byte[] name, UIntPtr size,
                                                   out int terminated);
}

static class BindingTest {
  static int failures;

  static void Check(bool ok, string what) {
    if (ok) return;
    ++failures;
    Console.WriteLine("FAILED: " + what);
  }

  static string Show(byte[] bytes) {
    return bytes == null ? "null" : "[" + BitConverter.ToString(bytes) + "]";
  }

  static void CheckBytes(byte[] got, byte[] want, string what) {
    bool same = got != null && got.Length == want.Length;
    for (int i = 0; same && i < want.Length; ++i) same = got[i] == want[i];
    Check(same, what + ": " + Show(got) + ", want " + Show(want));
  }

  // The buffer sizes the queries of one call were given (-1: a null buffer).
  static string Calls() {
    var sizes = new StringBuilder();
    for (int call = 0; call < StandIn.KovaStandInCalls(); ++call) {
      if (call > 0) sizes.Append(' ');
      sizes.Append(StandIn.KovaStandInBufferSize(call));
    }
    return sizes.ToString();
  }

  // One value: its bytes, its text, and the queries it took.
  static void CheckValue(KovaClient client, string name, byte[] want, string wantText,
                         string wantCalls) {
    StandIn.KovaStandInReset();
    byte[] value;
    KovaClientResult result = client.TryGetBytes(name, out value);
    Check(result == KovaClientResult.Ok, name + ": " + result);
    CheckBytes(value, want, name + ": the value's bytes");
    Check(Calls() == wantCalls, name + ": queries with buffers of " + Calls() + ", want " +
                                    wantCalls);
    CheckBytes(client.GetBytes(name), want, name + ": GetBytes");
    string text = client.GetString(name);
    Check(text == wantText, name + ": GetString gave \"" + text + "\", want \"" + wantText + "\"");
  }

  static void CheckFailure(KovaClient client, string name, KovaClientResult want) {
    byte[] value = new byte[1];
    KovaClientResult result = client.TryGetBytes(name, out value);
    Check(result == want, name + ": " + result + ", want " + want);
    Check(value == null, name + ": a value on failure: " + Show(value));
    try {
      client.GetString(name);
      Check(false, name + ": GetString threw nothing");
    } catch (KovaClientException e) {
      Check(e.Result == want, name + ": GetString threw " + e.Result);
      Check(e.Message == KovaClient.ResultText(want), name + ": the message " + e.Message);
    }
  }

  static int Main() {
    byte[] utf8Name = Encoding.UTF8.GetBytes("Grüße");
    Check(KovaClient.LibraryVersion == KovaClientNative.HeaderVersion,
          "LibraryVersion " + KovaClient.LibraryVersion);
    Check(KovaClient.ResultText(KovaClientResult.Timeout) == "stand-in 4",
          "ResultText(Timeout) " + KovaClient.ResultText(KovaClientResult.Timeout));

    using (var client = new KovaClient()) {
      Check(!client.IsConnected, "connected before Connect");
      CheckFailure(client, "Name", KovaClientResult.NotConnected);

      // A failed connect gives its result and leaves the client not connected.
      foreach (KovaClientResult failure in new[] {
                   KovaClientResult.NoLauncher, KovaClientResult.NoReply,
                   KovaClientResult.Timeout, KovaClientResult.BlockUnavailable,
                   KovaClientResult.SystemError}) {
        KovaClientResult result = client.Connect(9000 + (uint)failure);
        Check(result == failure && !client.IsConnected, "Connect failing with " + failure +
                                                            ": " + result);
      }

      Check(client.Connect(1234) == KovaClientResult.Ok, "Connect(1234)");
      Check(StandIn.KovaStandInTimeout() == 1234, "time-out " + StandIn.KovaStandInTimeout());
      Check(client.IsConnected, "not connected after Connect");
      Check(client.Connect() == KovaClientResult.Ok, "Connect()");
      Check(StandIn.KovaStandInTimeout() == 0, "default time-out " + StandIn.KovaStandInTimeout());

      // Every value is probed for first, then read into a buffer of the size
      // the probe gave.
      CheckValue(client, "Name", Encoding.ASCII.GetBytes("Kova Quest"), "Kova Quest", "-1 11");
      CheckValue(client, "Empty", new byte[0], "", "-1 1");
      CheckValue(client, "Unknown", new byte[0], "", "-1 1");
      string longValue = Repeat("0123456789abcdef", 16);
      CheckValue(client, "Long", Encoding.ASCII.GetBytes(longValue), longValue, "-1 257");
      CheckValue(client, "Grüße", Encoding.UTF8.GetBytes("Grüße, 世界"), "Grüße, 世界", "-1 16");
      CheckValue(client, "WithNul", new byte[] {(byte)'a', 0, (byte)'b'}, "a\0b", "-1 4");
      CheckValue(client, "NotUtf8", new byte[] {0xFF, (byte)'A'}, "\uFFFDA", "-1 3");
      // Grown between the probe and the read: asked once more with room for
      // any value.
      CheckValue(client, "Grows", Encoding.ASCII.GetBytes("a longer value than the probe saw"),
                 "a longer value than the probe saw", "-1 6 " + (KovaClientNative.MaxTextSize + 1));

      // The name crosses as its UTF-8 bytes, their length, and a NUL behind.
      StandIn.KovaStandInReset();
      client.GetBytes("Grüße");
      var seen = new byte[64];
      int terminated;
      int length = (int)(uint)StandIn.KovaStandInLastName(seen, (UIntPtr)64u, out terminated);
      byte[] sent = new byte[Math.Min(length, seen.Length)];
      Array.Copy(seen, sent, sent.Length);
      CheckBytes(sent, utf8Name, "the name's bytes");
      Check(terminated == 1, "the name without a NUL behind it");
      StandIn.KovaStandInReset();
      client.GetBytes("");
      Check(StandIn.KovaStandInCalls() == 2, "an empty name: queries " + Calls());

      // Each failure is the result, with no value, and GetString throws it.
      foreach (KovaClientResult failure in new[] {
                   KovaClientResult.InvalidArgument, KovaClientResult.Timeout,
                   KovaClientResult.QueryFailed, KovaClientResult.NameTooLong,
                   KovaClientResult.NotConnected, KovaClientResult.SystemError}) {
        CheckFailure(client, "Fail" + (int)failure, failure);
      }
      CheckFailure(client, "FailAfterProbe", KovaClientResult.QueryFailed);
      CheckFailure(client, "EverGrowing", KovaClientResult.ValueTooLarge);
      StandIn.KovaStandInReset();
      byte[] none;
      Check(client.TryGetBytes(null, out none) == KovaClientResult.InvalidArgument && none == null,
            "a null name");
      Check(StandIn.KovaStandInCalls() == 0, "a null name was sent");

      client.Disconnect();
      Check(!client.IsConnected, "connected after Disconnect");
      CheckFailure(client, "Name", KovaClientResult.NotConnected);
    }

    if (failures > 0) {
      Console.WriteLine(failures + " checks failed");
      return 1;
    }
    Console.WriteLine("the binding's calls, sizes, values and results all as expected");
    return 0;
  }

  static string Repeat(string text, int times) {
    var repeated = new StringBuilder();
    for (int i = 0; i < times; ++i) repeated.Append(text);
    return repeated.ToString();
  }
}
