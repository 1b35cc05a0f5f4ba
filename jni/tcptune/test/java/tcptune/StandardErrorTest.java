package tcptune;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.List;

import org.junit.jupiter.api.Test;

/** The exact lines of the failure paths, read from a child JVM's standard output and error. */
class StandardErrorTest {
    private static final String SELECT = "error: could not select tcp congestion algorithm:: ";
    private static final String TCP_INFO = "could not get TCP_INFO statistics!!!: ";

    /** Walk messages carry whatever errno held, so only the text before it is fixed. */
    private static void assertWalkFailure(String scenario, String result, String message)
            throws Exception {
        ChildJvm.Output out = ChildJvm.run(scenario);
        assertEquals(List.of(result), out.results());
        assertEquals(1, out.stderr().size(), () -> String.join("\n", out.stderr()));
        assertTrue(out.stderr().get(0).startsWith(message + ": "), out.stderr().get(0));
        assertEquals("", out.stdout());
    }

    private static void assertLines(String scenario, List<String> results, String stdout,
            List<String> stderr) throws Exception {
        ChildJvm.Output out = ChildJvm.run(scenario);
        assertEquals(results, out.results());
        assertEquals(stdout, out.stdout());
        assertEquals(stderr, out.stderr());
    }

    @Test
    void walkStageMessages() throws Exception {
        assertWalkFailure("nullImpl", "-1", "Couldn't get SocketImpl from this socket. Paketo man.");
        assertWalkFailure("nullSocket", "-1",
                "Couldn't get ServerSocketChannelImpl from this socket either. Paketo man.");
        assertWalkFailure("noClientChannel", "NoSuchFieldError",
                "Couldn't get SocketChannelImpl from this socket either. Paketo man.");
        assertWalkFailure("noServerChannel", "NoSuchFieldError",
                "Couldn't get ServerSocketChannelImpl from this socket either. Paketo man.");
        assertWalkFailure("nullFdObject", "-1", "E na edw loipon gamietai.");
    }

    @Test
    void descriptorMinusOneIsSilent() throws Exception {
        assertLines("fdMinusOne", List.of("-1"), "", List.of());
    }

    @Test
    void refusedAlgorithm() throws Exception {
        assertLines("unknownAlgorithm", List.of("Error"), "",
                List.of(SELECT + "No such file or directory"));
        assertLines("unknownAlgorithmServer", List.of("Error"), "no-such-algo::",
                List.of(SELECT + "No such file or directory"));
    }

    /** 31 bytes still reach the kernel; 32 bytes, or a null name, are refused before it. */
    @Test
    void namesThatDoNotFit() throws Exception {
        assertLines("longestName", List.of("Error"), "n".repeat(31) + "::",
                List.of(SELECT + "No such file or directory"));
        assertLines("nameTooLong", List.of("Error"), "n".repeat(32) + "::",
                List.of(SELECT + "File name too long"));
        assertLines("wideNameTooLong", List.of("Error"), "",
                List.of(SELECT + "File name too long"));
        assertLines("nullName", List.of("Error"), "::", List.of(SELECT + "Invalid argument"));
    }

    @Test
    void udpDescriptorPrintsBothStatsMessagesInOrder() throws Exception {
        Loopback.requireNamespace();
        assertLines("udpStats", List.of("Error", "-2"), "", List.of(
                "error: could not read tcp congestion algorithm!: Protocol not available",
                TCP_INFO + "Protocol not available",
                TCP_INFO + "Protocol not available"));
    }

    @Test
    void badDescriptor() throws Exception {
        assertLines("badDescriptor", List.of("-2", "-2", "-2"), "", List.of(
                TCP_INFO + "Bad file descriptor", TCP_INFO + "Bad file descriptor",
                "could not get ioctl statistics!!!: Bad file descriptor"));
    }
}
