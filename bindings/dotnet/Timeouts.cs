// The time-out variables the library reads once per process. The library takes
// a malformed value as no limit; the binding refuses the calls that connect
// instead, so a bound a host meant to set is never silently missing.
using System;
using System.Threading;

namespace Qvn
{
    /// <summary>QVN_CONNECT_TIMEOUT_MS, QVN_IO_TIMEOUT_MS and QVN_OPERATION_TIMEOUT_MS.</summary>
    public static class Timeouts
    {
        /// <summary>The variables' names.</summary>
        public static readonly string[] Variables =
            { "QVN_CONNECT_TIMEOUT_MS", "QVN_IO_TIMEOUT_MS", "QVN_OPERATION_TIMEOUT_MS" };

        static int checkedOnce;  // 1 once a check passed: the library holds what it read

        /// <summary>The bound a value sets, by the library's rule: 0 (no limit) for null, the
        /// empty value or zeros, else the number of a plain decimal of at most nine ASCII
        /// digits; null for anything else (malformed).</summary>
        public static int? Milliseconds(string value)
        {
            if (value == null) return 0;
            if (value.Length > 9) return null;
            int ms = 0;
            foreach (char c in value)
            {
                if (c < '0' || c > '9') return null;
                ms = ms * 10 + (c - '0');
            }
            return ms;
        }

        /// <summary>Throws <see cref="ConfigurationException"/> for a malformed variable of the
        /// process environment. Every <see cref="Client"/> call that connects runs it first,
        /// until a check passes (the library reads the variables at its first connection).</summary>
        public static void Check()
        {
            if (Volatile.Read(ref checkedOnce) == 1) return;
            foreach (string name in Variables)
            {
                string value = Environment.GetEnvironmentVariable(name);
                if (Milliseconds(value) == null) throw new ConfigurationException(name, value);
            }
            Volatile.Write(ref checkedOnce, 1);
        }
    }
}
