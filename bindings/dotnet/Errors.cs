// The exceptions of the binding. Which answer raises which is bindings/answers.tsv's
// decision (Answers.g.cs); each exception keeps the call and its answer.
using System;
using System.Collections.Generic;
using System.Linq;

namespace Qvn
{
    /// <summary>Base of every exception the binding raises for an answer of the library.</summary>
    public class QvnException : Exception
    {
        public QvnException(string message, string call, string answer) : base(message)
        {
            Call = call;
            Answer = answer;
        }

        /// <summary>The export whose answer this is.</summary>
        public string Call { get; }

        /// <summary>The answer text as the library returned it.</summary>
        public string Answer { get; }
    }

    /// <summary>A time-out variable holds a value that is not a whole number of milliseconds
    /// from 0 to 999999999: the library would run without that bound, so the binding refuses
    /// the call (see <see cref="Timeouts"/>).</summary>
    public class ConfigurationException : Exception
    {
        public ConfigurationException(string variable, string value)
            : base(variable + " is \"" + value + "\": not a whole number of milliseconds from 0 to 999999999 (0: no limit)")
        {
            Variable = variable;
            Value = value;
        }

        /// <summary>The variable's name.</summary>
        public string Variable { get; }

        /// <summary>Its value as set.</summary>
        public string Value { get; }
    }

    /// <summary>CONNECTION_ERROR: the command did not reach the server, or no whole reply
    /// came back. QVN_DEBUG=1 in the environment makes the library write the cause to stderr.</summary>
    public class ConnectionFailedException : QvnException
    {
        public ConnectionFailedException(string message, string call, string answer)
            : base(message, call, answer) { }
    }

    /// <summary>NONE: a script request obtained nothing.</summary>
    public class NoAnswerException : QvnException
    {
        public NoAnswerException(string message, string call, string answer)
            : base(message, call, answer) { }
    }

    /// <summary>The server would not open the request or take the change.</summary>
    public class RefusedException : QvnException
    {
        public RefusedException(string message, string call, string answer)
            : base(message, call, answer) { }
    }

    /// <summary>One or more file entries of a script did not complete.</summary>
    public class TransferFailedException : QvnException
    {
        public TransferFailedException(ScriptResult result)
            : base(Describe(result), "Script", result.Answer)
        {
            Result = result;
        }

        /// <summary>The answer, the counts and every entry's outcome.</summary>
        public ScriptResult Result { get; }

        /// <summary>The outcome of each entry that did not complete.</summary>
        public IReadOnlyList<TransferOutcome> Failures
        {
            get { return Result.Outcomes.Where(o => !o.Completed).ToList(); }
        }

        static string Describe(ScriptResult result)
        {
            var failures = result.Outcomes.Where(o => !o.Completed).Select(o => o.ToString()).ToList();
            int failed = Math.Max(result.Failed, 1);  // an entry that never reached the thread
            return failed + " file transfer(s) did not complete"
                + (failures.Count > 0 ? ": " + string.Join("; ", failures) : "");
        }
    }
}
