// The runtime service stand-in on the hub framework itself: the same health endpoint, discovery
// file and /cadHub hub as tools/runtime_standin.py, but with the framework's own handshake,
// keep-alive, client time-out, JSON escaping, message size limit and close record in front of the
// plug-in. Driven like the Python stand-in's machine mode: JSON commands on standard input, JSON
// events on standard output (see tools/hub_standin_driver.py).

using System.Collections.Concurrent;
using System.Net;
using System.Text.Json;
using Microsoft.AspNetCore.Http.Connections;
using Microsoft.AspNetCore.Hosting.Server;
using Microsoft.AspNetCore.Hosting.Server.Features;
using Microsoft.AspNetCore.SignalR;

var options = StandinOptions.Parse(args);
if (options is null)
{
    Console.Error.WriteLine(StandinOptions.Usage);
    return 2;
}

var output = new EventOutput();
var registry = new ClientRegistry(output);

var builder = WebApplication.CreateSlimBuilder(new WebApplicationOptions
{
    Args = Array.Empty<string>(),
    ContentRootPath = AppContext.BaseDirectory,
});
// Standard output carries the events; the framework's own log goes to standard error.
builder.Logging.ClearProviders();
builder.Logging.AddConsole(console => console.LogToStandardErrorThreshold = LogLevel.Trace);
builder.Logging.SetMinimumLevel(options.Verbose ? LogLevel.Debug : LogLevel.Warning);
builder.WebHost.UseKestrel(kestrel => kestrel.Listen(IPAddress.Loopback, options.Port));
// Open hub connections would otherwise hold a stop for the host's default 30 s.
builder.Services.Configure<HostOptions>(host => host.ShutdownTimeout = TimeSpan.FromSeconds(2));
builder.Services.AddSingleton(registry);
builder.Services.AddSignalR(hub =>
{
    // Every other hub option keeps the framework's default: the keep-alive interval, the client
    // time-out and the handshake time-out are what the companion runs with.
    if (!options.DefaultReceiveLimit) hub.MaximumReceiveMessageSize = StandinOptions.LargeReceiveLimit;
});

var app = builder.Build();
var runtime = new RuntimeIdentity(options.InstanceId ?? Guid.NewGuid().ToString(), Environment.ProcessId);

app.MapGet("/api/lifecycle/health", () => Results.Text(
    JsonSerializer.Serialize(new Dictionary<string, object>
    {
        ["pid"] = runtime.Pid, ["port"] = runtime.Port, ["protocolVersion"] = 1, ["instanceId"] = runtime.InstanceId,
    }), "application/json"));
app.MapHub<CadHub>("/cadHub", dispatcher => dispatcher.Transports = HttpTransportType.WebSockets);

try
{
    await app.StartAsync();
}
catch (IOException error)
{
    output.Emit(new() { ["event"] = "error", ["message"] = $"cannot listen on 127.0.0.1:{options.Port}: {error.Message}" });
    return 1;
}
var address = app.Services.GetRequiredService<IServer>().Features.Get<IServerAddressesFeature>()!.Addresses.First();
runtime.Port = new Uri(address).Port;

var discovery = new DiscoveryFile(options.Home);
try
{
    discovery.Write(runtime);
}
catch (IOException error)
{
    output.Emit(new() { ["event"] = "error", ["message"] = "cannot write the discovery file: " + error.Message });
    await app.StopAsync();
    return 1;
}
output.Emit(new() { ["event"] = "listening", ["port"] = runtime.Port, ["instanceId"] = runtime.InstanceId, ["pid"] = runtime.Pid });

var hub = app.Services.GetRequiredService<IHubContext<CadHub>>();
var quit = new TaskCompletionSource(TaskCreationOptions.RunContinuationsAsynchronously);
Console.CancelKeyPress += (_, e) => { e.Cancel = true; quit.TrySetResult(); };
AppDomain.CurrentDomain.ProcessExit += (_, _) => discovery.Remove();
var reader = new Thread(() =>
{
    // Commands run one at a time, in the order written, as the Python stand-in's do.
    string? line;
    while ((line = Console.In.ReadLine()) != null)
    {
        if (!RunCommand(line).GetAwaiter().GetResult()) break;
    }
    if (line != null || !options.Stay) quit.TrySetResult();
}) { IsBackground = true };
reader.Start();
await quit.Task;

discovery.Remove();
await app.StopAsync();
return 0;

async Task<bool> RunCommand(string line)
{
    if (string.IsNullOrWhiteSpace(line)) return true;
    JsonElement command;
    try
    {
        command = JsonDocument.Parse(line).RootElement;
    }
    catch (JsonException error)
    {
        output.Emit(new() { ["event"] = "error", ["message"] = "bad command line: " + error.Message });
        return true;
    }
    var verb = command.ValueKind == JsonValueKind.Object && command.TryGetProperty("cmd", out var v) ? v.GetString() : null;
    switch (verb)
    {
        case "exec":
            await Exec(Text(command, "reqId") ?? registry.NextRequestId(), Text(command, "action") ?? "",
                       Text(command, "params") ?? "{}");
            return true;
        case "close":
            // The hub framework sends its close record before it closes the WebSocket.
            registry.AbortAll();
            return true;
        case "quit":
            return false;
        default:
            output.Emit(new() { ["event"] = "error", ["message"] = "unknown command: " + line.Trim() });
            return true;
    }
}

async Task Exec(string reqId, string action, string parameters)
{
    var client = registry.Target();
    if (client is null)
    {
        output.Emit(new() { ["event"] = "error", ["reqId"] = reqId, ["message"] = "no client connected" });
        return;
    }
    client.Pending[reqId] = action;
    try
    {
        // As the companion does: the hub context's SendAsync with three string arguments.
        await hub.Clients.Client(client.ConnectionId).SendAsync("ExecuteCommand", reqId, action, parameters);
    }
    catch (Exception error)
    {
        output.Emit(new() { ["event"] = "error", ["reqId"] = reqId, ["message"] = "send failed: " + error.Message });
        return;
    }
    output.Emit(new() { ["event"] = "sent", ["conn"] = client.Number, ["reqId"] = reqId, ["action"] = action });
}

static string? Text(JsonElement command, string name) =>
    command.TryGetProperty(name, out var value) && value.ValueKind == JsonValueKind.String ? value.GetString() : null;

public sealed class CadHub(ClientRegistry registry) : Hub
{
    public override Task OnConnectedAsync()
    {
        registry.Connected(Context);
        return Task.CompletedTask;
    }

    public override Task OnDisconnectedAsync(Exception? exception)
    {
        registry.Disconnected(Context.ConnectionId, exception);
        return Task.CompletedTask;
    }

    public void CadResult(string requestId, string status, string result) =>
        registry.Result(Context.ConnectionId, requestId, status, result);

    public void CadStateChanged(bool ready, string documentName, string documentPath) =>
        registry.State(Context.ConnectionId, ready, documentName, documentPath);
}

public sealed class ClientInfo(int number, HubCallerContext context)
{
    public int Number { get; } = number;
    public HubCallerContext Context { get; } = context;
    public string ConnectionId => Context.ConnectionId;
    public ConcurrentDictionary<string, string> Pending { get; } = new();
}

public sealed class ClientRegistry(EventOutput output)
{
    private readonly object _lock = new();
    private readonly List<ClientInfo> _clients = new();  // in connection order
    private int _connections;
    private int _requests;

    public string NextRequestId() => "hub-standin-" + Interlocked.Increment(ref _requests);

    public void Connected(HubCallerContext context)
    {
        var http = context.GetHttpContext();
        var query = new Dictionary<string, object?>();
        if (http != null)
            foreach (var pair in http.Request.Query) query[pair.Key] = pair.Value.ToString();
        ClientInfo client;
        lock (_lock)
        {
            client = new ClientInfo(++_connections, context);
            _clients.Add(client);
        }
        var path = http == null ? "" : http.Request.Path.Value + http.Request.QueryString.Value;
        output.Emit(new() { ["event"] = "connected", ["conn"] = client.Number, ["path"] = path, ["query"] = query });
        // The framework calls the hub only once the handshake has succeeded.
        output.Emit(new() { ["event"] = "handshake", ["conn"] = client.Number, ["ok"] = true });
    }

    public void Disconnected(string connectionId, Exception? exception)
    {
        ClientInfo? client;
        lock (_lock)
        {
            client = _clients.Find(c => c.ConnectionId == connectionId);
            if (client != null) _clients.Remove(client);
        }
        if (client == null) return;
        foreach (var reqId in client.Pending.Keys)
            output.Emit(new() { ["event"] = "error", ["reqId"] = reqId, ["message"] = "client disconnected before answering" });
        output.Emit(new()
        {
            ["event"] = "disconnected", ["conn"] = client.Number, ["code"] = null, ["reason"] = exception?.Message ?? "",
        });
    }

    public void Result(string connectionId, string reqId, string status, string result)
    {
        var client = Find(connectionId);
        client?.Pending.TryRemove(reqId, out _);
        output.Emit(new()
        {
            ["event"] = "result", ["conn"] = client?.Number, ["reqId"] = reqId, ["status"] = status, ["result"] = result,
        });
    }

    public void State(string connectionId, bool ready, string name, string path) =>
        output.Emit(new()
        {
            ["event"] = "state", ["conn"] = Find(connectionId)?.Number, ["arguments"] = new object[] { ready, name, path },
        });

    public ClientInfo? Target()
    {
        lock (_lock) return _clients.Count == 0 ? null : _clients[^1];
    }

    public void AbortAll()
    {
        List<ClientInfo> all;
        lock (_lock) all = new List<ClientInfo>(_clients);
        foreach (var client in all) client.Context.Abort();
    }

    private ClientInfo? Find(string connectionId)
    {
        lock (_lock) return _clients.Find(c => c.ConnectionId == connectionId);
    }
}

public sealed class EventOutput
{
    private readonly object _lock = new();
    private readonly Stream _stdout = Console.OpenStandardOutput();
    private bool _broken;

    public void Emit(Dictionary<string, object?> fields)
    {
        var line = JsonSerializer.SerializeToUtf8Bytes(fields);
        lock (_lock)
        {
            if (_broken) return;
            try
            {
                _stdout.Write(line);
                _stdout.WriteByte((byte)'\n');
                _stdout.Flush();
            }
            catch (IOException)
            {
                _broken = true;  // nobody reads us any more; serve on until asked to stop
            }
        }
    }
}

public sealed class RuntimeIdentity(string instanceId, int pid)
{
    public string InstanceId { get; } = instanceId;
    public int Pid { get; } = pid;
    public int Port { get; set; }
}

public sealed class DiscoveryFile(string? home)
{
    private string? _path;
    private string? _text;

    public void Write(RuntimeIdentity runtime)
    {
        if (home == null) return;
        var folder = Path.Combine(home, "Library", "Application Support", "OrvikKelm");
        Directory.CreateDirectory(folder);
        _path = Path.Combine(folder, "runtime.json");
        _text = JsonSerializer.Serialize(new Dictionary<string, object>
        {
            ["schemaVersion"] = 1, ["protocolVersion"] = 1, ["port"] = runtime.Port, ["pid"] = runtime.Pid,
            ["instanceId"] = runtime.InstanceId,
        });
        // Written aside and renamed, so a client polling the file never reads half of it.
        var temporary = Path.Combine(folder, $".runtime-{Environment.ProcessId}.json");
        File.WriteAllText(temporary, _text);
        File.Move(temporary, _path, overwrite: true);
    }

    public void Remove()
    {
        // Another run of the service may own the file by now; only our own text is removed.
        try
        {
            if (_path != null && File.Exists(_path) && File.ReadAllText(_path) == _text) File.Delete(_path);
        }
        catch (IOException)
        {
        }
        _path = null;
    }
}

public sealed class StandinOptions
{
    public const long LargeReceiveLimit = 256L * 1024 * 1024;
    public const string Usage =
        "usage: hub-standin [--port N] [--home DIR] [--instance-id ID] [--default-receive-limit] [--stay] [--verbose]\n" +
        "  --port N                 TCP port on 127.0.0.1 (0, the default, picks a free one, reported)\n" +
        "  --home DIR               home folder for the discovery file (none written without it)\n" +
        "  --default-receive-limit  keep the hub framework's 32 KB receive limit (default: 256 MiB)\n" +
        "  --stay                   keep running at the end of standard input\n" +
        "  --verbose                the framework's debug log on standard error\n" +
        "Commands on standard input, one JSON object a line:\n" +
        "  {\"cmd\":\"exec\",\"reqId\":\"r1\",\"action\":\"getDwgPath\",\"params\":\"{}\"}   (reqId optional)\n" +
        "  {\"cmd\":\"close\"}   the hub closes every connection, with its close record\n" +
        "  {\"cmd\":\"quit\"}\n" +
        "Events on standard output: listening, connected, handshake, sent, state, result, disconnected, error.";

    public int Port { get; private set; }
    public string? Home { get; private set; }
    public string? InstanceId { get; private set; }
    public bool DefaultReceiveLimit { get; private set; }
    public bool Stay { get; private set; }
    public bool Verbose { get; private set; }

    public static StandinOptions? Parse(string[] args)
    {
        var options = new StandinOptions();
        for (var i = 0; i < args.Length; ++i)
        {
            var hasValue = i + 1 < args.Length;
            switch (args[i])
            {
                case "--port" when hasValue && int.TryParse(args[i + 1], out var port) && port is >= 0 and <= 65535:
                    options.Port = port;
                    ++i;
                    break;
                case "--home" when hasValue:
                    options.Home = args[++i];
                    break;
                case "--instance-id" when hasValue && args[i + 1].Length > 0:
                    options.InstanceId = args[++i];
                    break;
                case "--default-receive-limit":
                    options.DefaultReceiveLimit = true;
                    break;
                case "--stay":
                    options.Stay = true;
                    break;
                case "--verbose":
                    options.Verbose = true;
                    break;
                default:
                    return null;
            }
        }
        return options;
    }
}
