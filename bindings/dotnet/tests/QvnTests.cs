// The binding against qvn-server over the real library:
//   mono QvnTests.exe QVN_SERVER_BINARY
// starts the server on free loopback ports with a fresh data folder, runs
// every case, and exits 1 when one failed (0 when all passed).
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Net;
using System.Net.Sockets;
using System.Text;
using System.Threading;
using System.Threading.Tasks;
using Qvn;

static class QvnTests
{
    const string DbName = ".NET base ✓ \U0001D11E";
    const string Credentials = "dbsecret@alice@alicepw";
    static readonly Client Unreachable = new Client("127.0.0.1", 1, 0);  // nothing listens on port 1
    static Client client;
    static string data, scratch;
    static int failures;

    static void Check(bool condition, string what)
    {
        if (condition) return;
        failures++;
        Console.WriteLine("FAIL: " + what);
    }

    static void Equal<T>(T expected, T actual, string what)
    {
        Check(EqualityComparer<T>.Default.Equals(expected, actual),
              what + ": expected [" + expected + "], got [" + actual + "]");
    }

    static TException Throws<TException>(Action action, string what) where TException : Exception
    {
        try
        {
            action();
        }
        catch (TException e)
        {
            return e;
        }
        catch (Exception e)
        {
            Check(false, what + ": threw " + e.GetType().Name + " (" + e.Message + "), not " + typeof(TException).Name);
            return null;
        }
        Check(false, what + ": did not throw " + typeof(TException).Name);
        return null;
    }

    sealed class Handler<T> : IProgress<T>  // reports on the library's thread, as they come
    {
        readonly Action<T> action;
        public Handler(Action<T> action) { this.action = action; }
        public void Report(T value) { action(value); }
    }

    static void Codecs_()
    {
        string longText = new string('x', 5000) + string.Concat(Enumerable.Repeat("\U0001D11E", 3000));
        foreach (string text in new[] { "", "plain", "a;b&c{d}\t\r\n,", "Grüße ✓ 中文", "\U0001D11E pair \U0010FFFF", longText })
        {
            string escaped = Codecs.Encode(text);
            Check(escaped.IndexOfAny(",\t\r\n{}".ToCharArray()) < 0, "Encode leaves one field: " + escaped);
            Equal(text, Codecs.Decode(escaped), "Decode(Encode)");
        }
        var encoded = new[,] { { "a,b{c}", "a&#44;b&#123;c&#125;" }, { "\ud800 lone \udc00", "\ud800 lone \udc00" },  // unpaired surrogates cross as they are
                               { "cut\0here", "cut" }, { null, "" } };
        for (int i = 0; i < encoded.GetLength(0); i++)
            Equal(encoded[i, 1], Codecs.Encode(encoded[i, 0]), "Encode " + i);
        var counts = new[] { Tuple.Create("  a@b@c ", "@", false, 3), Tuple.Create("single", "@", false, 0),
                             Tuple.Create("single", "@", true, 1), Tuple.Create("x\U0001D11Ey\U0001D11Ez", "\U0001D11E", false, 3) };
        foreach (var c in counts)
            Equal(c.Item4, Codecs.ValueCount(c.Item1, c.Item2, c.Item3), "ValueCount " + c.Item1 + " " + c.Item3);
        var values = new[] { Tuple.Create("  a@b@c ", 1, "@", "b"), Tuple.Create("a@b@c", 3, "@", ""),
                             Tuple.Create("", 0, "@", ""), Tuple.Create("x\U0001D11Ey\U0001D11Ez", 2, "\U0001D11E", "z") };
        foreach (var v in values)
            Equal(v.Item4, Codecs.Value(v.Item1, v.Item2, v.Item3), "Value " + v.Item1 + " " + v.Item2);
        Equal("eNpL5OUCAAFKAA==", Codecs.Pack("a"), "Pack");
        Equal("packed\r\ntext", Codecs.Unpack(Codecs.Pack(" packed\ntext ")), "Unpack(Pack)");
        Native.ScriptFree(IntPtr.Zero);  // ignored
    }

    static void Commands()
    {
        Check(client.TryConnect(2000), "TryConnect");
        Equal(DbName, client.DbName(), "DbName");
        Equal("OK", client.TryDbPassword(Credentials), "TryDbPassword");
        Equal("DENIED", client.TryDbPassword("dbsecret@alice@wrong"), "TryDbPassword, wrong password (data)");
        Equal("OK alice", client.Authenticate("alice", "alicepw"), "Authenticate");
        Throws<RefusedException>(() => client.Authenticate("nobody", "x"), "Authenticate nobody");
        Equal("OK", client.ChangePassword("dbsecret", "bob", "bobpw", "new ✓ pw"), "ChangePassword");
        Equal("OK", client.TryDbPassword("dbsecret@bob@new ✓ pw"), "the new password");
        var refused = Throws<RefusedException>(() => client.ChangePassword("dbsecret", "bob", "bobpw", "x"), "ChangePassword, old password");
        Equal("DENIED", refused == null ? null : refused.Answer, "the refusal's answer");
        Check(!client.UpdateIsAvailable(Credentials, "Versions", 0, "no such program", 1), "UpdateIsAvailable");

        Equal("OK", client.MessageFile("to the file ✓ \U0001D11E"), "MessageFile");
        Equal("OK", client.MessagePipe("to the pipe"), "MessagePipe");
        string messages = Path.Combine(data, "messages");
        Check(File.ReadAllText(Path.Combine(messages, "messages.txt")).Contains("to the file ✓ \U0001D11E\r\n"), "the file message arrived");
        Check(File.ReadAllText(Path.Combine(messages, "pipe.log")).Contains("to the pipe\r\n"), "the pipe message arrived");
        var receiver = new TcpListener(IPAddress.Loopback, 0);
        receiver.Start();
        try
        {
            ushort port = (ushort)((IPEndPoint)receiver.LocalEndpoint).Port;
            Equal("OK", client.MessageTcp("127.0.0.1", port, "over TCP \U0001D11E"), "MessageTcp");
            using (TcpClient connection = receiver.AcceptTcpClient())
            using (var reader = new BinaryReader(connection.GetStream()))
            {
                byte[] size = reader.ReadBytes(4);
                int length = size[0] << 24 | size[1] << 16 | size[2] << 8 | size[3];
                Equal("over TCP \U0001D11E", Encoding.Unicode.GetString(reader.ReadBytes(length)), "the TCP message");
            }
        }
        finally
        {
            receiver.Stop();
        }
    }

    static void Failures()
    {
        var calls = new Dictionary<string, Action>
        {
            { "DbName", () => Unreachable.DbName() },
            { "TryDbPassword", () => Unreachable.TryDbPassword(Credentials) },
            { "ChangePassword", () => Unreachable.ChangePassword("d", "u", "p", "n") },
            { "Authenticate", () => Unreachable.Authenticate("u", "p") },
            { "MessageFile", () => Unreachable.MessageFile("m") },
            { "MessagePipe", () => Unreachable.MessagePipe("m") },
            { "MessageTcp", () => Unreachable.MessageTcp("127.0.0.1", 9, "m") },
        };
        foreach (var call in calls)
        {
            var e = Throws<ConnectionFailedException>(call.Value, call.Key + " unreachable");
            if (e != null) Check(e is QvnException && e.Answer == "CONNECTION_ERROR", call.Key + ": the exception keeps the answer");
        }
        Check(!Unreachable.TryConnect(2000), "TryConnect unreachable");
        Check(!Unreachable.UpdateIsAvailable(Credentials, "T", 0, "x", 1), "UpdateIsAvailable unreachable");
        Throws<NoAnswerException>(() => Unreachable.Script(Credentials + "\r\nlist T"), "Script unreachable");
        Throws<NoAnswerException>(() => Unreachable.ScriptAsync(Credentials + "\r\nlist T").GetAwaiter().GetResult(), "ScriptAsync unreachable");
        Throws<FileNotFoundException>(() => client.Upload(Credentials, Path.Combine(scratch, "missing.bin"), "..\\x.bin"), "Upload of no file");
        var failed = Throws<TransferFailedException>(
            () => client.Download(Credentials, "..\\net\\no such file.bin", Path.Combine(scratch, "never.bin")), "Download of no file");
        if (failed != null)
        {
            Equal(1, failed.Failures.Count, "one failure");
            Equal("..\\net\\no such file.bin", failed.Failures[0].ServerFile, "the failure names the server's file");
            Check(failed.Message.Contains("download ..\\net\\no such file.bin -> "), "the message names the entry: " + failed.Message);
        }
        foreach (string local in new[] { "a\r\nFILES [DOWNLOAD]", " a.bin", "a {1}.bin" })
            Throws<ArgumentException>(() => client.Download(Credentials, "..\\a.bin", local), "a local path no section carries: " + local);
    }

    static void Scripts()
    {
        string answer = client.Script(Credentials + "\r\nadd Net=Grüße \U0001D11E\r\nlist Net");
        Check(answer.Contains("Grüße \U0001D11E"), "the answer crosses both ways: " + answer);
        // No transfer thread starts: Script's own done message ends the wait.
        Equal(0, client.RunScript(Credentials + "\r\nlist Net").Begun, "a script without file sections");
        Task<string> pending = client.ScriptAsync(Credentials + "\r\nlist Net");
        Check(pending.GetAwaiter().GetResult().Contains("Grüße \U0001D11E"), "ScriptAsync");
        Equal(DbName, client.DbNameAsync().GetAwaiter().GetResult(), "DbNameAsync");
        Throws<RefusedException>(() => client.AuthenticateAsync("nobody", "x").GetAwaiter().GetResult(), "AuthenticateAsync nobody");
    }

    static void Transfers()
    {
        var content = new byte[1500000];
        new Random(27).NextBytes(content);
        string local = Path.Combine(scratch, "up \U0001D11E.bin"), back = Path.Combine(scratch, "back.bin");
        File.WriteAllBytes(local, content);
        string name = Client.ServerName("net/up \U0001D11E.bin");
        var ups = new List<TransferProgress>();
        client.Upload(Credentials, local, name, new Handler<TransferProgress>(ups.Add));
        var downs = new List<TransferProgress>();
        client.Download(Credentials, name, back, new Handler<TransferProgress>(downs.Add));
        Check(File.ReadAllBytes(back).SequenceEqual(content), "the download is the upload");
        Check(ups.Count > 1 && ups.Last().Complete && ups.Last().Upload, "upload progress");
        if (ups.Count > 0)
            Equal(local + "|" + name + "|" + content.Length, ups.Last().ClientFile + "|" + ups.Last().ServerFile + "|" + ups.Last().Size, "upload progress names");
        Check(downs.Count > 1 && downs.Last().Count >= content.Length && !downs.Last().Upload, "download progress");

        // Every entry's outcome, in script order.
        ScriptResult result = client.RunScript(Credentials + "\r\nFILES [DOWNLOAD]\r\n{back.1," + name
                                               + "\r\nback.2,..\\net\\absent.bin}");
        Equal("2 1", result.Begun + " " + result.Failed, "begun and failed");
        Equal("Completed Failed", string.Join(" ", result.Outcomes.Select(o => o.Status.ToString())), "outcomes");

        // Async: progress waits for this thread, which must be free to let it go on.
        var released = new ManualResetEventSlim();
        bool waited = true;
        Task upload = client.UploadAsync(Credentials, local, "..\\net\\async.bin",
                                         new Handler<TransferProgress>(p => waited &= released.Wait(60000)));
        released.Set();
        upload.GetAwaiter().GetResult();
        Check(waited, "UploadAsync returned while its transfer ran");
        client.DownloadAsync(Credentials, "..\\net\\async.bin", "async.bin").GetAwaiter().GetResult();
        Check(File.ReadAllBytes("async.bin").SequenceEqual(content), "UploadAsync arrived");
    }

    static void Cancel()
    {
        File.WriteAllBytes(Path.Combine(data, "files", "net", "big.bin"), new byte[2000000]);
        string local = Path.Combine(scratch, "cancel.bin");
        File.WriteAllBytes(local, new byte[2000000]);
        var cases = new Dictionary<string, Func<CancellationTokenSource, Task>>
        {
            { "upload", source => client.UploadAsync(Credentials, local, "..\\net\\cancelled.bin",
                                                     new Handler<TransferProgress>(p => source.Cancel()), source.Token) },
            { "download", source => client.DownloadAsync(Credentials, "..\\net\\big.bin", local + ".down",
                                                         new Handler<TransferProgress>(p => source.Cancel()), source.Token) },
        };
        foreach (var c in cases)
            using (var source = new CancellationTokenSource())
                Throws<OperationCanceledException>(() => c.Value(source).GetAwaiter().GetResult(), "cancelled " + c.Key);
        Check(!File.Exists(Path.Combine(data, "files", "net", "cancelled.bin")), "a cancelled upload leaves nothing");
        Check(!File.Exists(local + ".down"), "a cancelled download leaves nothing");
        using (var source = new CancellationTokenSource())
        {
            ScriptResult result = client.RunScript(Credentials + "\r\nFILES [DOWNLOAD]\r\n{big.1,..\\net\\big.bin\r\n"
                                                   + "big.2,..\\net\\big.bin}",
                                                   new Handler<TransferProgress>(p => source.Cancel()), source.Token);
            Equal("Cancelled NotStarted", string.Join(" ", result.Outcomes.Select(o => o.Status.ToString())), "the outcomes of a cancel");
        }
    }

    static void ProgressTexts()
    {
        var texts = new[] { Tuple.Create("a*b.txt*..\\a*b.txt*9*3*33,33%**12*Download", "a*b.txt", "..\\a*b.txt", 33.33),
                            Tuple.Create("a*..\\b*..\\c*4*1*?%**1*Upload", "a", "..\\b*..\\c", 25.0) };
        foreach (var t in texts)
        {
            TransferProgress p = TransferProgress.Parse(t.Item1);
            Equal(t.Item2 + "|" + t.Item3 + "|" + t.Item4, p.ClientFile + "|" + p.ServerFile + "|" + p.Percent, "Parse " + t.Item1);
        }
        Throws<FormatException>(() => TransferProgress.Parse("a*b"), "Parse of no progress text");
    }

    // The shared table of time-out values, then a malformed variable refused before the
    // first call that connects: this group runs before any other.
    static void TimeoutValues()
    {
        int rows = 0;
        foreach (string line in File.ReadAllLines(timeoutValues, Encoding.UTF8).Where(l => l != "" && l[0] != '#').Skip(1))
        {
            string[] fields = line.Split('\t');
            int? expected = fields[1] == "malformed" ? (int?)null : int.Parse(fields[1]);
            Equal(expected, Timeouts.Milliseconds(fields[0]), "time-out value \"" + fields[0] + "\"");
            rows++;
        }
        Check(rows > 10, "the time-out table has its rows");
        foreach (string name in Timeouts.Variables)
        {
            Environment.SetEnvironmentVariable(name, "-5");
            var refused = Throws<ConfigurationException>(() => client.DbName(), name + "=-5");
            Check(refused != null && refused.Message.Contains(name) && refused.Message.Contains("\"-5\""),
                  "the refusal names " + name + " and its value");
            Throws<ConfigurationException>(() => client.Script(Credentials + "\r\nlist"), "a script with " + name + "=-5");
            Equal("b", Qvn.Codecs.Value("a@b", 1, "@"), "a codec with a malformed time-out");
            Environment.SetEnvironmentVariable(name, null);
        }
        Equal(DbName, client.DbName(), "DbName once the variables are right");
    }

    static string timeoutValues;

    static KeyValuePair<string, Action> Group(string name, Action run)
    {
        return new KeyValuePair<string, Action>(name, run);
    }

    static int Main(string[] args)
    {
        string server = Path.GetFullPath(args[0]);  // before the working folder changes
        timeoutValues = Path.GetFullPath(args[1]);
        data = Path.Combine(Path.GetTempPath(), "qvn-dotnet-" + Guid.NewGuid().ToString("N"));
        scratch = Path.Combine(data, "scratch");
        Directory.CreateDirectory(scratch);
        Environment.CurrentDirectory = scratch;  // where relative local paths of sections lead
        var init = Process.Start(new ProcessStartInfo(server, "init \"" + data + "\" --db-name \"" + DbName
            + "\" --db-password dbsecret --user alice:alicepw --user bob:bobpw") { UseShellExecute = false, RedirectStandardOutput = true });
        init.StandardOutput.ReadToEnd();
        init.WaitForExit();
        Directory.CreateDirectory(Path.Combine(data, "files", "net"));
        var process = Process.Start(new ProcessStartInfo(server, "--data \"" + data + "\" --port 0 --file-port 0 --quiet")
            { UseShellExecute = false, RedirectStandardOutput = true });
        try
        {
            string line = process.StandardOutput.ReadLine() ?? "";  // "qvn-server listening: port=N file-port=M"
            var found = System.Text.RegularExpressions.Regex.Match(line, @" port=(\d+) file-port=(\d+)");
            if (!found.Success)
            {
                Console.WriteLine("qvn-server did not start: " + line);
                return 1;
            }
            client = new Client("127.0.0.1", ushort.Parse(found.Groups[1].Value), ushort.Parse(found.Groups[2].Value));
            var groups = new List<KeyValuePair<string, Action>> { Group("time-out values", TimeoutValues), Group("codecs", Codecs_), Group("commands", Commands), Group("failures", Failures),
                Group("scripts", Scripts), Group("transfers", Transfers), Group("cancel", Cancel), Group("progress texts", ProgressTexts) };
            foreach (var group in groups)
            {
                int before = failures;
                try
                {
                    group.Value();
                }
                catch (Exception e)
                {
                    failures++;
                    Console.WriteLine("FAIL: " + group.Key + " threw " + e);
                }
                Console.WriteLine((failures == before ? "ok   " : "FAIL ") + group.Key);
            }
        }
        finally
        {
            process.Kill();
            process.WaitForExit();
            Directory.Delete(data, true);
        }
        Console.WriteLine(failures == 0 ? "all passed" : failures + " check(s) failed");
        return failures == 0 ? 0 : 1;
    }
}
