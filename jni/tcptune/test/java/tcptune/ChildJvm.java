package tcptune;

import java.io.File;
import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/** Runs one of FailureScenarios in a child JVM and captures what it prints. */
final class ChildJvm {
    /** stdout without the scenario's own "result: " lines, those results, and stderr lines. */
    record Output(String stdout, List<String> results, List<String> stderr) {}

    private ChildJvm() {}

    static Output run(String scenario) throws Exception {
        String classes = Path.of(FailureScenarios.class.getProtectionDomain().getCodeSource()
                .getLocation().toURI()).toString();
        Process p = new ProcessBuilder(
                System.getProperty("java.home") + File.separator + "bin" + File.separator + "java",
                "-Xcheck:jni", "-Djava.library.path=" + System.getProperty("java.library.path"),
                "-cp", classes, FailureScenarios.class.getName(), scenario)
                .redirectInput(ProcessBuilder.Redirect.from(new File("/dev/null")))
                .start();
        var err = p.getErrorStream();
        String stdout = new String(p.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        String stderr = new String(err.readAllBytes(), StandardCharsets.UTF_8);
        if (p.waitFor() != 0) throw new AssertionError("child JVM failed:\n" + stdout + stderr);
        List<String> results = new ArrayList<>();
        var m = java.util.regex.Pattern.compile("result: ([^\n]*)\n").matcher(stdout);
        while (m.find()) results.add(m.group(1));
        return new Output(m.replaceAll(""), results, stderr.lines().toList());
    }
}
