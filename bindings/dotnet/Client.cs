// Qvn.Client: the server's commands, scripts and file transfers, as strings
// and exceptions. Each call opens its own connections (the library keeps no
// state), so one Client may be used from several threads at once.
using System;
using System.IO;
using System.Threading;
using System.Threading.Tasks;

namespace Qvn
{
    public sealed class Client
    {
        public Client(string host = "127.0.0.1", ushort port = 7711, ushort filePort = 7712)
        {
            Host = host ?? throw new ArgumentNullException(nameof(host));
            Port = port;
            FilePort = filePort;
        }

        public string Host { get; }
        public ushort Port { get; }
        public ushort FilePort { get; }  // 0: file sections transfer nothing

        public override string ToString() { return Host + ":" + Port + " (files " + FilePort + ")"; }

        /// <summary>Whether a TCP connection to the request port is ready within timeoutMs
        /// (negative: no limit). Sends no data.</summary>
        public bool TryConnect(int timeoutMs = 5000)
        {
            Timeouts.Check();
            return Native.TryConnect(Host, Port, timeoutMs);
        }

        /// <summary>The database's name.</summary>
        public string DbName()
        {
            Timeouts.Check();
            return Checked("ShowDbName", Native.ShowDbName(Host, Port));
        }

        /// <summary>The server's verdict on a credentials line "dbpassword@user@userpassword":
        /// "OK" or "DENIED".</summary>
        public string TryDbPassword(string credentials)
        {
            Timeouts.Check();
            return Checked("TryDbPassword", Native.TryDbPassword(Host, Port, credentials));
        }

        /// <summary>Changes a user's password; returns the server's reply.</summary>
        public string ChangePassword(string dbPassword, string user, string oldPassword, string newPassword)
        {
            Timeouts.Check();
            return Checked("ChangeUniquePass",
                           Native.ChangeUniquePass(Host, Port, dbPassword, user, oldPassword, newPassword));
        }

        /// <summary>Hands the server a message to append to its file.</summary>
        public string MessageFile(string message)
        {
            Timeouts.Check();
            return Checked("DbMessageFile", Native.DbMessageFile(Host, Port, message));
        }

        /// <summary>Hands the server a message to pass through its pipe.</summary>
        public string MessagePipe(string message)
        {
            Timeouts.Check();
            return Checked("DbMessagePipe", Native.DbMessagePipe(Host, Port, message));
        }

        /// <summary>Hands the server a message to deliver to receiverHost:receiverPort over TCP.</summary>
        public string MessageTcp(string receiverHost, ushort receiverPort, string message)
        {
            Timeouts.Check();
            return Checked("DbMessageTcp", Native.DbMessageTcp(Host, Port, receiverHost, receiverPort, message));
        }

        /// <summary>Proves knowledge of a user's password without sending it; returns the
        /// server's answer.</summary>
        public string Authenticate(string user, string password)
        {
            Timeouts.Check();
            return Checked("UserAuthentication", Native.UserAuthentication(Host, Port, user, password));
        }

        /// <summary>Whether the version stored in table differs from this program's product
        /// version; false also when the check cannot be made.</summary>
        public bool UpdateIsAvailable(string credentials, string table, int searchField,
                                      string searchText, int versionField)
        {
            Timeouts.Check();
            return Native.UpdateIsAvailable(Host, Port, credentials, table, searchField, searchText,
                                            versionField);
        }

        /// <summary>Runs a script (first line: the credentials) and returns its answer. When it
        /// has file sections, waits until every entry has ended: progress is reported on the
        /// library's thread; cancel ends the running entry at its next progress report and
        /// starts no further one (OperationCanceledException). Throws TransferFailedException
        /// when an entry did not complete, and what the answers table says of the answer.</summary>
        public string Script(string script, IProgress<TransferProgress> progress = null,
                             CancellationToken cancel = default(CancellationToken))
        {
            cancel.ThrowIfCancellationRequested();
            return ScriptAnswer(Wait(ScriptRun.Start(this, script, progress, cancel, true)), cancel);
        }

        /// <summary>Script without checking: the answer and every entry's outcome as they are.</summary>
        public ScriptResult RunScript(string script, IProgress<TransferProgress> progress = null,
                                      CancellationToken cancel = default(CancellationToken))
        {
            return Wait(ScriptRun.Start(this, script, progress, cancel, true));
        }

        /// <summary>Uploads one file; serverName is the server's form "..\dir\name" (or
        /// ".@\dir\name", see <see cref="ServerName"/>).</summary>
        public void Upload(string credentials, string localPath, string serverName,
                           IProgress<TransferProgress> progress = null,
                           CancellationToken cancel = default(CancellationToken))
        {
            Wait(UploadAsync(credentials, localPath, serverName, progress, cancel, true));
        }

        /// <summary>Downloads one file; the local file is replaced only once all of it arrived.</summary>
        public void Download(string credentials, string serverName, string localPath,
                             IProgress<TransferProgress> progress = null,
                             CancellationToken cancel = default(CancellationToken))
        {
            Wait(DownloadAsync(credentials, serverName, localPath, progress, cancel, true));
        }

        // The same on a Task: the library's blocking call runs on another thread, never the caller's.
        public Task<bool> TryConnectAsync(int timeoutMs = 5000) { return Task.Run(() => TryConnect(timeoutMs)); }
        public Task<string> DbNameAsync() { return Task.Run(() => DbName()); }
        public Task<string> TryDbPasswordAsync(string credentials) { return Task.Run(() => TryDbPassword(credentials)); }
        public Task<string> ChangePasswordAsync(string dbPassword, string user, string oldPassword, string newPassword)
        {
            return Task.Run(() => ChangePassword(dbPassword, user, oldPassword, newPassword));
        }
        public Task<string> MessageFileAsync(string message) { return Task.Run(() => MessageFile(message)); }
        public Task<string> MessagePipeAsync(string message) { return Task.Run(() => MessagePipe(message)); }
        public Task<string> MessageTcpAsync(string receiverHost, ushort receiverPort, string message)
        {
            return Task.Run(() => MessageTcp(receiverHost, receiverPort, message));
        }
        public Task<string> AuthenticateAsync(string user, string password) { return Task.Run(() => Authenticate(user, password)); }
        public Task<bool> UpdateIsAvailableAsync(string credentials, string table, int searchField,
                                                 string searchText, int versionField)
        {
            return Task.Run(() => UpdateIsAvailable(credentials, table, searchField, searchText, versionField));
        }

        public async Task<string> ScriptAsync(string script, IProgress<TransferProgress> progress = null,
                                              CancellationToken cancel = default(CancellationToken))
        {
            cancel.ThrowIfCancellationRequested();
            return ScriptAnswer(await ScriptRun.Start(this, script, progress, cancel, false).ConfigureAwait(false), cancel);
        }

        public Task<ScriptResult> RunScriptAsync(string script, IProgress<TransferProgress> progress = null,
                                                 CancellationToken cancel = default(CancellationToken))
        {
            return ScriptRun.Start(this, script, progress, cancel, false);
        }

        public Task UploadAsync(string credentials, string localPath, string serverName,
                                IProgress<TransferProgress> progress = null,
                                CancellationToken cancel = default(CancellationToken))
        {
            return UploadAsync(credentials, localPath, serverName, progress, cancel, false);
        }

        public Task DownloadAsync(string credentials, string serverName, string localPath,
                                  IProgress<TransferProgress> progress = null,
                                  CancellationToken cancel = default(CancellationToken))
        {
            return DownloadAsync(credentials, serverName, localPath, progress, cancel, false);
        }

        /// <summary>The server's name for a relative path "docs/a.txt": "..\docs\a.txt"
        /// (content: ".@\docs\a.txt", the server's content area).</summary>
        public static string ServerName(string path, bool content = false)
        {
            string[] parts = path.Replace('\\', '/').Split('/');
            if (path.StartsWith("/") || Array.Exists(parts, p => p == "" || p == "." || p == ".."))
                throw new ArgumentException("not a plain relative path: " + path, nameof(path));
            return (content ? ".@\\" : "..\\") + string.Join("\\", parts);
        }

        async Task UploadAsync(string credentials, string localPath, string serverName,
                               IProgress<TransferProgress> progress, CancellationToken cancel, bool onThisThread)
        {
            if (!File.Exists(localPath)) throw new FileNotFoundException("no such file", localPath);
            await Transfer(Sections.OneEntry(credentials, localPath, serverName, true), progress, cancel,
                           onThisThread).ConfigureAwait(false);
        }

        async Task DownloadAsync(string credentials, string serverName, string localPath,
                                 IProgress<TransferProgress> progress, CancellationToken cancel, bool onThisThread)
        {
            await Transfer(Sections.OneEntry(credentials, localPath, serverName, false), progress, cancel,
                           onThisThread).ConfigureAwait(false);
        }

        async Task Transfer(string script, IProgress<TransferProgress> progress, CancellationToken cancel,
                            bool onThisThread)
        {
            if (Port == 0 || FilePort == 0) throw new InvalidOperationException("a file transfer needs a port and a file port");
            cancel.ThrowIfCancellationRequested();
            ScriptResult result = await ScriptRun.Start(this, script, progress, cancel, onThisThread).ConfigureAwait(false);
            ThrowOnTransfers(result, cancel);
            if (result.Outcomes.Count == 0) throw new TransferFailedException(result);  // never reached the thread
        }

        static string ScriptAnswer(ScriptResult result, CancellationToken cancel)
        {
            ThrowOnTransfers(result, cancel);
            QvnException failure = Answers.Failure("Script", Trim(result.Answer), "Script");
            if (failure != null) throw failure;
            return result.Answer;
        }

        static void ThrowOnTransfers(ScriptResult result, CancellationToken cancel)
        {
            if (result.Failed == 0) return;
            if (cancel.IsCancellationRequested && result.Outcomes.Count > 0 && Array.TrueForAll(
                    System.Linq.Enumerable.ToArray(result.Outcomes), o => o.Completed
                    || o.Status == TransferStatus.Cancelled || o.Status == TransferStatus.NotStarted))
                throw new OperationCanceledException(cancel);
            throw new TransferFailedException(result);
        }

        string Checked(string call, IntPtr result)
        {
            string answer = Native.TakeText(result);
            QvnException failure = Answers.Failure(call, Trim(answer), call + " at " + Host + ":" + Port);
            if (failure != null) throw failure;
            return answer;
        }

        static T Wait<T>(Task<T> task) { return task.GetAwaiter().GetResult(); }
        static void Wait(Task task) { task.GetAwaiter().GetResult(); }

        /// <summary>Without the blanks (every unit up to U+0020) at either end.</summary>
        internal static string Trim(string text)
        {
            int start = 0, end = text.Length;
            while (start < end && text[start] <= ' ') start++;
            while (end > start && text[end - 1] <= ' ') end--;
            return text.Substring(start, end - start);
        }
    }

    /// <summary>The library's text codecs; they need no server.</summary>
    public static class Codecs
    {
        /// <summary>One Base64 line of the zlib-compressed text (trimmed, line breaks CR LF).</summary>
        public static string Pack(string text) { return Native.TakeText(Native.PackString(text)); }

        /// <summary>Reverses Pack; a text that is not packed comes back trimmed, line breaks CR LF.</summary>
        public static string Unpack(string text) { return Native.TakeText(Native.UnPackString(text)); }

        /// <summary>Escapes ; &amp; , TAB CR LF { } as entities, so that a text can be one field.</summary>
        public static string Encode(string text) { return Native.TakeText(Native.DataEncode(text)); }

        /// <summary>Reverses Encode (entities in any letter case).</summary>
        public static string Decode(string text) { return Native.TakeText(Native.DataDecode(text)); }

        /// <summary>The number of fields of the trimmed source split at delimiter; a source
        /// without the delimiter counts 1 when countSingle is set, else 0.</summary>
        public static int ValueCount(string source, string delimiter, bool countSingle = false)
        {
            return Native.ValueCount(source, delimiter, countSingle);
        }

        /// <summary>Field number index (from 0) of the trimmed source; "" when there is none.</summary>
        public static string Value(string source, int index, string delimiter)
        {
            return Native.TakeText(Native.ValueFromString(source, index, delimiter));
        }
    }

    /// <summary>Writing the one-entry file sections of Upload and Download.</summary>
    internal static class Sections
    {
        internal static string OneEntry(string credentials, string localPath, string server, bool upload)
        {
            string kind, prefix;
            if (server.StartsWith("..\\", StringComparison.Ordinal)) { kind = "FILES"; prefix = "..\\"; }
            else if (server.StartsWith(".@\\", StringComparison.Ordinal)) { kind = "CONTENT"; prefix = ".@\\"; }
            else throw new ArgumentException("a server name begins with \"..\\\" or \".@\\\" (see Client.ServerName): " + server);
            // What the script language would change or cut in an entry.
            string[] unsafeParts = { "\r", "\n", "\0", "[ ", " ]", " {", "} ", "," + prefix, " " + prefix, prefix + " " };
            foreach (string value in new[] { localPath, server.Substring(prefix.Length) })
            {
                string bad = Array.Find(unsafeParts, u => value.Contains(u));
                if (value.Length == 0 || Client.Trim(value) != value || bad != null)
                    throw new ArgumentException("cannot be written in a file section: " + value);
            }
            // "{" first: a path that begins with "/" would otherwise be a comment line.
            return credentials + "\r\n" + kind + " [" + (upload ? "UPLOAD" : "DOWNLOAD") + "]\r\n{"
                + localPath + "," + server + "}";
        }
    }
}
